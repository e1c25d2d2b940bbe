#include "CellRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "AwaitRadio.h"
#include "CellChecks.h"
#include "ExamplePackage.h"
#include "ProgramCell.h"
#include "RadioSim.h"
#include "ScaledClock.h"
#include "SimPortDirectory.h"
#include "SimState.h"
#include "TempDir.h"
#include "UpdaterTestSupport.h"
#include "app/core/CodeplugRestore.h"
#include "app/core/UpdaterTexts.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "common/Hex.h"

namespace faultmatrix {
namespace {

namespace fs = std::filesystem;
namespace text = updater_text;
using LineKind = Scenario::LineFault::Kind;

constexpr int kClockDivisor = 100;
// The product repeats a busy request for three minutes; scaled like the waits.
constexpr int kBusyRepeatLimitMs = 180000 / kClockDivisor;

// The line faults the simulated radio makes itself.
LineKind LineKindOf(Fault f) {
    static const std::pair<Fault, LineKind> kKinds[] = {
        {Fault::kSilence, LineKind::kSilence},         {Fault::kGarbled, LineKind::kGarbled},
        {Fault::kBadChecksum, LineKind::kBadChecksum}, {Fault::kBusy, LineKind::kBusy},
        {Fault::kHangUp, LineKind::kHangUp},           {Fault::kOtherGroup, LineKind::kOtherGroup},
        {Fault::kWrongRate, LineKind::kWrongRate}};
    for (const auto& [fault, kind] : kKinds) {
        if (fault == f)
            return kind;
    }
    return LineKind::kNone;
}

// An automatic package (the boot is checked first, then the application flashed) of the
// shape the transports need: family 0 goes over the serial device, family 1 through the
// interface box or the port component.
void FillPackage(Transport transport, MemoryPackage& package) {
    ResourceAttributes a = testsupport::ExampleAttributes(kUpgradeApplicationBoot,
                                                          transport == Transport::kDirect ? 0 : 1);
    testsupport::PutExamplePackage(package, a);
}

// Whether another program could take the port at once: it opens and nobody holds its lock.
bool PortOpensAgain(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

class CellRunner {
  public:
    CellRunner(const Cell& cell, bool clean) : cell_(cell), clean_(clean) {}
    RunResult Run();

  private:
    void SetUpScenario();
    bool StartRadio(RunResult& r, const Scenario& scenario);
    void Strike();
    void Check(RunResult& r);
    void SecondRun(RunResult& r);
    bool Restore(RunResult& r, CodeUpdater& updater, UpdaterView& view);
    void Problem(RunResult& r, const std::string& what) { r.problems.push_back(what); }

    Cell cell_;
    bool clean_;
    Scenario scenario_;
    TempDir root_{"quenta-cell"};
    simtest::SimPortDirectory ports_;
    std::unique_ptr<RadioSim> sim_;
    QtMessagePump pump_;
    QtIntervalTimer commTimer_;
    QtIntervalTimer progressTimer_;
    QtPortComponent component_;
    ScaledClock clock_{pump_, kClockDivisor};
    fs::path work_ = fs::path(root_.Path()) / "work";
    fs::path backups_ = fs::path(root_.Path()) / "backups";
    UpdaterPlatform platform_{
        pump_, commTimer_, progressTimer_,    component_, clock_, [] { return 1; }, work_, backups_,
        {},    {},         kBusyRepeatLimitMs};
    MemoryPackage package_;
    updatertest::RecordingView view_;
    std::unique_ptr<CodeUpdater> updater_;
    std::unique_ptr<QSocketNotifier> radioWatch_;
    bool struck_ = false;
    Bytes original_;  // the codeplug the radio held before the first run
    Bytes codeplugBefore_;
    std::size_t backupsAtWrite_ = 0;
};

// The radio of every cell, before any fault is placed.
Scenario BaseScenario(Transport transport) {
    Scenario s;
    s.fileFormat = {5, 9};
    s.boot = {4, 3};
    s.interfaceBox = transport == Transport::kBox;
    s.codeplug.generateFormat = 4;
    s.codeplug.formatAfterUpdate = {5, 10};
    s.flash.eraseMs = 150;    // the scaled 40-second wait is 400 ms
    s.flash.restartMs = 100;  // the scaled 360-tick wait is 198 ms
    return s;
}

// The simulated radio of the scenario, on COM kSimCom of the cell's port folder.
bool CellRunner::StartRadio(RunResult& r, const Scenario& scenario) {
    sim_ = std::make_unique<RadioSim>(scenario);
    std::string error;
    if (!sim_->Open(error, ports_.Path(), kSimCom)) {
        Problem(r, "the simulated radio did not open: " + error);
        return false;
    }
    sim_->Start();
    return true;
}

void CellRunner::SetUpScenario() {
    scenario_ = BaseScenario(cell_.transport);
    if (clean_)
        return;
    switch (cell_.fault) {
        case Fault::kWrongPairSum:
            scenario_.flashFaults.image = cell_.image;
            scenario_.flashFaults.wrongSumAtPair = cell_.pair;
            break;
        case Fault::kVerifyFail:
            scenario_.flashFaults.image = cell_.image;
            scenario_.flashFaults.verifyFailAtPair = cell_.pair;
            break;
        case Fault::kRefusedPassword:
            scenario_.codeplug.password = "heron";
            scenario_.codeplug.refusePassword = true;
            break;
        case Fault::kWrongBlockSum:
            scenario_.codeplug.wrongSumAtReport = cell_.report;
            break;
        case Fault::kStop:
            break;
        default:
            if (cell_.atFrame >= 0)
                scenario_.lineFault = {LineKindOf(cell_.fault), cell_.atFrame};
            break;
    }
}

// The fault placed at a status (a wait) or, for Stop, at a frame: strikes once.
void CellRunner::Strike() {
    if (struck_ || updater_ == nullptr)
        return;
    struck_ = true;
    if (cell_.fault == Fault::kStop)
        updater_->m_StartButtonClick();
    else
        sim_->InjectNow(LineKindOf(cell_.fault));
}

RunResult CellRunner::Run() {
    RunResult r;
    fs::create_directories(work_);
    SetUpScenario();
    FillPackage(cell_.transport, package_);
    if (!StartRadio(r, scenario_))
        return r;
    original_ = sim_->Codeplug();  // the radio takes no frame before the update starts
    const std::string device = sim_->SlavePath();

    view_.selected = kSimCom - 1;
    view_.passwords.push_back(std::string(text::kApplicationPassword));
    view_.onStatus = [this](const std::string& s) {
        if (s == text::kUploading && codeplugBefore_.empty())
            codeplugBefore_ = sim_->Codeplug();
        if (s == text::kDownloading)
            backupsAtWrite_ = std::distance(fs::directory_iterator(backups_), {});
        if (!clean_ && !cell_.atStatus.empty() && Begins(s, cell_.atStatus))
            Strike();
    };
    if (!clean_ && cell_.fault == Fault::kStop && cell_.atFrame >= 0) {
        // Stop is pressed as soon as the radio has taken the cell's frame.
        radioWatch_ =
            std::make_unique<QSocketNotifier>(sim_->ChangeDescriptor(), QSocketNotifier::Read);
        QObject::connect(radioWatch_.get(), &QSocketNotifier::activated, [this] {
            sim_->DrainChanges();
            if (sim_->FramesTaken() > cell_.atFrame)
                Strike();
        });
    }

    updater_ = std::make_unique<CodeUpdater>(view_, platform_, package_);
    updater_->Initialise();
    updater_->m_StartButtonClick();
    radioWatch_.reset();

    r.end = view_.Status();
    Check(r);
    for (const std::string& lock : LockFilesLeft(device, sim_->LinkPath()))
        Problem(r, "lock file left: " + lock);
    // After a hang-up the line itself is gone; otherwise it must be free at once.
    if (!sim_->HungUp() && !PortOpensAgain(device))
        Problem(r, "the port cannot be opened again at once");
    updater_.reset();
    sim_->Stop();
    const nlohmann::json report = sim_->Report();
    TakeFrames(report["frames"], r.frames);
    r.codeplugReports = report["codeplug"]["sumReports"].get<int>();
    if (!clean_)
        SecondRun(r);
    r.passed = r.problems.empty();
    return r;
}

// A new update of the radio as the fault left it (what it stores, on a new line), without
// the fault.
void CellRunner::SecondRun(RunResult& r) {
    const SimState state = CaptureSimState(*sim_, {});
    sim_.reset();
    Scenario scenario = BaseScenario(cell_.transport);
    ApplySimState(state, scenario);
    if (!StartRadio(r, scenario))
        return;
    updatertest::RecordingView view;
    view.selected = kSimCom - 1;
    view.passwords.push_back(std::string(text::kApplicationPassword));
    CodeUpdater updater(view, platform_, package_);
    updater.Initialise();
    // After a failed codeplug write the tool offers its converted backup back (the restore);
    // after anything else, the update again.
    bool toolSaysDone = false;
    if (WriteFailed(r.end)) {
        toolSaysDone = Restore(r, updater, view);
    } else {
        updater.m_StartButtonClick();
        r.secondEnd = view.Status();
        toolSaysDone = r.secondEnd == text::kDone;
    }
    const std::string lacks = ShortOfUpdate(*sim_, original_, backups_);
    r.recovered = toolSaysDone && lacks.empty();
    if (toolSaysDone && !lacks.empty())
        r.FalselyDone("the second run said it succeeded but " + lacks);
    if (!fs::is_empty(work_))
        Problem(r, "the second run left in the working folder: " + Leftovers(work_));
    sim_->Stop();
}

// The newest backup in the format the radio now expects, written back and read back, as
// `quenta codeplug restore` does.
bool CellRunner::Restore(RunResult& r, CodeUpdater& updater, UpdaterView& view) {
    const std::string serial = HexText(scenario_.serial.data(), scenario_.serial.size());
    const auto entries = ListCodeplugBackups(backups_, serial, std::vector<JournalRow>{});
    const CodeplugBackupEntry* newest = NewestBackupInFormat(entries, "5.10");
    if (newest == nullptr) {
        r.secondEnd = "restore: no backup of " + serial + " in format 5.10";
        return false;
    }
    const RadioCodeplugResult w = JournalledCodeplugWrite(updater, view, nullptr, "restore",
                                                          newest->path, ReadBytes(newest->path));
    r.secondEnd = w.ok && w.verified ? "restored, read back and verified" : "restore: " + w.error;
    return w.ok && w.verified;
}

void CellRunner::Check(RunResult& r) {
    const bool done = r.end == text::kDone;
    if (clean_ ? !done : !EndAllowed(cell_, r.end))
        Problem(r, "ended with \"" + r.end + "\"");
    if (view_.busy.empty() || view_.busy.back())
        Problem(r, "the window is not back to idle");
    if (done != (updater_->LastOutcome() == UpdateOutcome::kSucceeded))
        Problem(r, "the outcome does not match the status");
    if (!fs::is_empty(work_))
        Problem(r, "left in the working folder: " + Leftovers(work_));
    // The serial device notices the line go dead and says so beside the status; on the port
    // component a dead line still looks like silence.
    const bool portGone = std::find(view_.details.begin(), view_.details.end(),
                                    text::kPortWentAway) != view_.details.end();
    if (!clean_ && cell_.fault == Fault::kHangUp && cell_.transport != Transport::kComponent &&
        sim_->HungUp() && !portGone)
        Problem(r, "the hang-up is not named beside the status");
    if (portGone && (clean_ || cell_.fault != Fault::kHangUp))
        Problem(r, "a port that did not go away is said to have gone");
    // The cell's own folders are under its temporary folder; nothing else may be.
    std::string extra;
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path())) {
        const std::string p = e.path().string();
        if (p != root_.Path() && p != ports_.Path())
            extra += e.path().filename().string() + " ";
    }
    if (!extra.empty())
        Problem(r, "left in the temporary folder: " + extra);

    // The codeplug was read and converted: both copies are on disk, the first as read.
    if (view_.HasStatus(text::kResettingConverting) || view_.HasStatus(text::kDownloading)) {
        std::error_code ec;
        const auto saved = std::count_if(fs::recursive_directory_iterator(backups_, ec), {},
                                         [](const auto& e) { return e.is_regular_file(); });
        if (saved != 2) {
            Problem(r, std::to_string(saved) + " codeplug backups, not 2");
        } else {
            const Bytes file = ReadBytes(updater_->LastBackup());
            if (file.empty() || !BeginsWith(codeplugBefore_, file))
                Problem(r, "the backup differs from the radio's codeplug");
        }
    }
    if (view_.HasStatus(text::kDownloading) && backupsAtWrite_ != 2)
        Problem(r, "the write began before both backups were saved");
    if (!done)
        return;
    // "Done." only when the radio holds the converted codeplug and both images ended.
    const auto images = sim_->FlashedImages();
    if (images.size() != 2 || !images[0].ended || !images[1].ended)
        r.FalselyDone("\"Done.\" without both images flashed to the end");
    // The radio takes the write's last frame on its own thread: wait for its signal.
    simtest::AwaitRadio(*sim_, pump_,
                        [&] { return sim_->Report()["codeplug"]["completedDownloads"] != 0; });
    const std::string lacks = ShortOfConverted(*sim_, ReadBytes(updater_->LastBackup()));
    if (!lacks.empty())
        r.FalselyDone("\"Done.\" but " + lacks);
}

}  // namespace

RunResult RunUpdate(const Cell& cell, bool clean) {
    if (!clean && IsProgramFault(cell.fault))
        return RunProgramCell(cell);
    int argc = 1;
    char name[] = "fault_matrix";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    CellRunner runner(cell, clean);
    return runner.Run();
}

}  // namespace faultmatrix
