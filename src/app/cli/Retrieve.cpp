#include "Retrieve.h"

#include "CarriedPackage.h"
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
    session.Start(viewOptions, options.package ? *options.package : DefaultRetrievePackage());
    if (options.kind)
        session.Updater().SetTargetKind(*options.kind);
    if (!options.traceFile.empty() && !session.OpenTrace(options.traceFile))
        return ToInt(session.Failure());
    session.Updater().m_RetrieveVersionInfoButtonClick();
    session.Finish();
    return ToInt(session.View().VersionShown() ? ExitStatus::kDone : ExitStatus::kFailed);
}
