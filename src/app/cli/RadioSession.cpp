#include "RadioSession.h"

#include <signal.h>

#include <QCoreApplication>
#include <filesystem>

#include "app/core/CodeUpdater.h"
#include "app/core/ShellQuote.h"
#include "app/qtplatform/StopSignal.h"

RadioSession::RadioSession(std::string command, std::ostream& out, std::ostream& err)
    : command_(std::move(command)), out_(out), err_(err) {}

RadioSession::~RadioSession() {
    stop_.reset();
    // No frame may reach a trace that is going away.
    if (updater_)
        updater_->Link().SetTraceSink({});
}

void RadioSession::Say(const std::string& line) {
    err_ << "quenta " << command_ << ": " << line << "\n";
}

bool RadioSession::ResolvePort(const std::string& port, const std::string& portDir) {
    // A port folder that cannot be read would quietly leave the fixed table in charge, and
    // the run would talk to whatever device that names.
    std::error_code ec;
    if (!portDir.empty() && !std::filesystem::is_directory(portDir, ec)) {
        Say(std::filesystem::exists(portDir, ec)
                ? portDir + " is not a folder: --port-dir names a folder of COMn links"
                : "the port folder " + portDir + " does not exist");
        failure_ = ExitStatus::kUsage;
        return false;
    }
    std::string error;
    bool usage = false;
    if (!port_.Resolve(port, portDir, error, usage)) {
        Say(error);
        failure_ = usage ? ExitStatus::kUsage : ExitStatus::kFailed;
        return false;
    }
    comNumber_ = port_.ComNumber();
    // A hint that names a command repeats the user's own words, not the COM name behind them.
    portArguments_ = "--port " + ShellQuote(port);
    if (!portDir.empty())
        portArguments_ += " --port-dir " + ShellQuote(portDir);
    return true;
}

void RadioSession::Start(TerminalView::Options viewOptions, const PackageResources& package) {
    Start(
        [this, &viewOptions](int comNumber) {
            viewOptions.comNumber = comNumber;
            return std::make_unique<TerminalView>(std::move(viewOptions), out_, err_);
        },
        package);
}

void RadioSession::Start(const ViewMaker& makeView, const PackageResources& package) {
    // A reader that goes away (quenta update | head) must not kill a half-flashed radio: the
    // writes to it fail and are dropped, and the run, its trace and its clean-up go on.
    ::signal(SIGPIPE, SIG_IGN);
    // Nor must a file-size limit (ulimit -f): a trace or the journal that reaches it fails as on
    // a full disk, which is said and is no reason to leave the radio half-written.
    ::signal(SIGXFSZ, SIG_IGN);
    if (QCoreApplication::instance() == nullptr)
        app_ = std::make_unique<QCoreApplication>(qtArgc_, qtArgv_);
    platform_ = std::make_unique<QtUpdaterPlatform>();
    view_ = makeView(comNumber_);
    updater_ = std::make_unique<CodeUpdater>(*view_, platform_->platform, package);
    updater_->Initialise();
    updater_->SetPortArguments(portArguments_);
    kept_ = std::make_unique<report::KeptTrace>(report::DefaultTraceFolder(), command_);
    InstallTraceSink();
}

bool RadioSession::OpenTrace(const std::string& file) {
    std::string error;
    if (!trace_.Open(file, error)) {
        Say(error);
        failure_ = ExitStatus::kUsage;
        return false;
    }
    traceWriter_ = FrameTraceWriter(platform_->pump, trace_.Stream());
    InstallTraceSink();
    return true;
}

void RadioSession::WatchFrames(RadioLink::TraceSink watcher) {
    watcher_ = std::move(watcher);
    InstallTraceSink();
}

void RadioSession::InstallTraceSink() {
    updater_->Link().SetTraceSink(
        [this](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
            if (watcher_)
                watcher_(direction, bytes, count, ms);
            kept_->Write(direction, bytes, count, ms);
            if (traceWriter_) {
                traceWriter_(direction, bytes, count, ms);
                trace_.LineWritten();
            }
        });
}

void RadioSession::StopOnSignals(std::function<void()> onStop) {
    stop_ = std::make_unique<StopSignal>([this, onStop = std::move(onStop)] {
        err_ << "Stopping..." << std::endl;
        view_->Interrupt();
        if (onStop)
            onStop();
    });
}

bool RadioSession::Stopped() const {
    return stop_ && stop_->Raised();
}

void RadioSession::Finish() {
    if (updater_)
        updater_->Link().SetTraceSink({});
    if (kept_)
        kept_->Close();
    if (!traceWriter_)
        return;
    traceWriter_ = {};
    std::string error;
    if (!trace_.Finish(error))
        Say(error);
}
