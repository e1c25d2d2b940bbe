#include "Retrieve.h"

#include "CarriedPackage.h"
#include "JsonLinesView.h"
#include "RadioSession.h"
#include "app/core/CodeUpdater.h"

int RetrieveVersionInfo(const RetrieveOptions& options, std::ostream& out, std::ostream& err) {
    RadioSession session("retrieve", out, err);
    session.UseComNumber(options.comNumber);
    return RetrieveVersionInfo(session, options);
}

int RetrieveVersionInfo(RadioSession& session, const RetrieveOptions& options) {
    TerminalView::Options viewOptions;
    viewOptions.titledMessages = false;
    const PackageResources& package = options.package ? *options.package : DefaultRetrievePackage();
    JsonLinesView* jsonView = nullptr;
    if (options.json) {
        viewOptions.printVersionInfo = false;  // the fields go into the result line
        session.Start(
            [&](int comNumber) {
                viewOptions.comNumber = comNumber;
                auto view = std::make_unique<JsonLinesView>(viewOptions, session.Out(), -1);
                jsonView = view.get();
                return view;
            },
            package);
    } else {
        session.Start(viewOptions, package);
    }
    if (options.kind)
        session.Updater().SetTargetKind(*options.kind);
    if (!options.traceFile.empty() && !session.OpenTrace(options.traceFile))
        return ToInt(session.Failure());
    session.Updater().m_RetrieveVersionInfoButtonClick();
    session.Finish();
    const ExitStatus status =
        session.View().VersionShown() ? ExitStatus::kDone : ExitStatus::kFailed;
    if (jsonView != nullptr)
        jsonView->VersionResult(ToInt(status));
    return ToInt(status);
}
