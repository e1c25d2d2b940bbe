#pragma once

#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "ExitStatus.h"
#include "QtUpdaterPlatform.h"
#include "TerminalView.h"
#include "TraceFile.h"
#include "app/report/KeptTraces.h"
#include "link/RadioLink.h"

class CodeUpdater;
class PackageResources;
class QCoreApplication;
class StopSignal;

// What every command that talks to a radio sets up, in the order it must happen: the port
// argument (before Qt starts, so that a wrong one costs nothing), Qt's event loop, the update
// logic's platform, the terminal view and the updater over a package, then the frame trace
// and the stop signals. The session owns all of it and takes it down in reverse order. Every
// frame also goes into the run's kept trace, for a support report.
class RadioSession {
  public:
    // command names the command in the lines the session prints ("quenta COMMAND: ...").
    explicit RadioSession(std::string command, std::ostream& out = std::cout,
                          std::ostream& err = std::cerr);
    ~RadioSession();
    RadioSession(const RadioSession&) = delete;
    RadioSession& operator=(const RadioSession&) = delete;

    // --port and --port-dir. False when they cannot be used, having said why; Failure() then
    // tells the exit status.
    bool ResolvePort(const std::string& port, const std::string& portDir);
    // A COM number chosen by the caller (a port directory already set up).
    void UseComNumber(int comNumber) { comNumber_ = comNumber; }
    ExitStatus Failure() const { return failure_; }

    // Starts Qt's loop (unless the caller runs one), the platform, the view on the resolved
    // port and the updater over package (which must outlive the session), initialised.
    void Start(TerminalView::Options viewOptions, const PackageResources& package);
    // The same with a view of the caller's own (JSON lines), made for the resolved COM number.
    using ViewMaker = std::function<std::unique_ptr<CommandView>(int comNumber)>;
    void Start(const ViewMaker& makeView, const PackageResources& package);

    // --trace FILE: every frame into FILE. False when FILE cannot be written, having said why.
    bool OpenTrace(const std::string& file);
    // Another watcher of every frame, beside the trace file.
    void WatchFrames(RadioLink::TraceSink watcher);
    // Ctrl-C and the signals that end a session say "Stopping...", end a wait for Enter and
    // then call onStop from the event loop.
    void StopOnSignals(std::function<void()> onStop);
    bool Stopped() const;
    // Ends the frame trace: FILE is replaced now. Losing the trace is said but is no failure.
    void Finish();

    // One line on stderr: "quenta COMMAND: line".
    void Say(const std::string& line);

    CodeUpdater& Updater() { return *updater_; }
    CommandView& View() { return *view_; }
    QtUpdaterPlatform& Platform() { return *platform_; }
    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }

  private:
    void InstallTraceSink();

    std::string command_;
    std::ostream& out_;
    std::ostream& err_;
    ExitStatus failure_ = ExitStatus::kFailed;
    int comNumber_ = 1;
    PortArgument port_;
    std::string portArguments_;  // --port and --port-dir as given, for hints
    // Qt keeps a reference to its argument count for the application's life.
    int qtArgc_ = 1;
    char qtName_[7] = "quenta";
    char* qtArgv_[2] = {qtName_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
    TraceFile trace_;
    std::unique_ptr<report::KeptTrace> kept_;
    RadioLink::TraceSink traceWriter_;  // empty without --trace
    RadioLink::TraceSink watcher_;
    std::unique_ptr<QtUpdaterPlatform> platform_;
    std::unique_ptr<CommandView> view_;
    std::unique_ptr<CodeUpdater> updater_;
    std::unique_ptr<StopSignal> stop_;
};
