#include "ProgramCell.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "CellChecks.h"
#include "ChildProgram.h"
#include "ExamplePackage.h"
#include "RadioSim.h"
#include "TempDir.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/Journal.h"
#include "app/package/PackageNames.h"

namespace faultmatrix {
namespace {

namespace fs = std::filesystem;
namespace text = updater_text;

// The port's settings a run must leave as it found them: the terminal settings and the
// low-latency flag (a pseudo-terminal has no serial flags: then the ioctl's failure must stay).
struct PortSettings {
    bool read = false;
    termios tio{};
    int serialResult = -1;
    bool lowLatency = false;
};

PortSettings ReadPortSettings(const std::string& device) {
    PortSettings s;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return s;
    s.read = ::tcgetattr(fd, &s.tio) == 0;
    serial_struct info{};
    s.serialResult = ::ioctl(fd, TIOCGSERIAL, &info);
    s.lowLatency = s.serialResult == 0 && (info.flags & ASYNC_LOW_LATENCY) != 0;
    ::close(fd);
    return s;
}

// Settings unlike any the program sets (a line discipline's defaults at 9600 baud), so that
// whatever it leaves changed shows.
void SetSystemPortSettings(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        t.c_iflag |= ICRNL | IXON;
        t.c_oflag |= OPOST | ONLCR;
        t.c_lflag |= ICANON | ISIG | IEXTEN;
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    ::close(fd);
}

bool SameSettings(const PortSettings& a, const PortSettings& b) {
    return a.read && b.read && a.tio.c_iflag == b.tio.c_iflag && a.tio.c_oflag == b.tio.c_oflag &&
           a.tio.c_cflag == b.tio.c_cflag && a.tio.c_lflag == b.tio.c_lflag &&
           std::memcmp(a.tio.c_cc, b.tio.c_cc, sizeof a.tio.c_cc) == 0 &&
           ::cfgetispeed(&a.tio) == ::cfgetispeed(&b.tio) &&
           ::cfgetospeed(&a.tio) == ::cfgetospeed(&b.tio) && a.serialResult == b.serialResult &&
           a.lowLatency == b.lowLatency;
}

// The matrix's automatic package (boot checked, then the application flashed) for a series 6
// radio, whose erase takes 2 seconds: a package folder as the builder writes it.
void WritePackage(const fs::path& folder) {
    MemoryPackage memory;
    ResourceAttributes a = testsupport::ExampleAttributes(kUpgradeApplicationBoot);
    a.Series = 6;
    a.BootMajor = 6;
    a.BootMinor = 3;
    testsupport::PutExamplePackage(memory, a);
    for (ImageSet set : {ImageSet::kApplication, ImageSet::kBoot, ImageSet::kBootTwo}) {
        for (ImageRole role : {ImageRole::kLoader, ImageRole::kCode}) {
            for (std::uint32_t n = 1; n <= ChunkCount(a, set, role); ++n) {
                const std::string name = ChunkResourceName(set, role, n);
                std::ofstream(folder / name, std::ios::binary) << memory.Open(name)->rdbuf();
            }
        }
    }
    const auto record = SerializeAttributes(a);
    std::ofstream(folder / kAttributesResourceName, std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()),
               static_cast<std::streamsize>(record.size()));
}

class ProgramCellRunner {
  public:
    explicit ProgramCellRunner(const Cell& cell) : cell_(cell) {}
    RunResult Run();

  private:
    bool FrameBegins();
    void CheckPlace(RunResult& r, const std::string& device);
    void CheckJournal(RunResult& r, JournalRow& row);
    bool NewestRow(JournalRow& row, std::string& error);
    void Problem(RunResult& r, const std::string& what) { r.problems.push_back(what); }

    Cell cell_;
    TempDir root_{"quenta-program"};
    TempDir ports_{"quenta-ports"};
    fs::path work_ = fs::path(root_.Path()) / "work";
    fs::path tmp_ = fs::path(root_.Path()) / "tmp";
    fs::path state_ = fs::path(root_.Path()) / "state";
    fs::path package_ = fs::path(root_.Path()) / "package";
    fs::path data_ = fs::path(root_.Path()) / "data";  // the backups are under it
    std::unique_ptr<RadioSim> sim_;
    std::vector<LoggedFrame> frames_;
    bool struck_ = false;
};

// Whether the radio has taken the first frame of the cell's phase.
bool ProgramCellRunner::FrameBegins() {
    sim_->DrainChanges();
    if (struck_)
        return false;
    const nlohmann::json more = sim_->FramesFrom(static_cast<int>(frames_.size()));
    if (more.empty())
        return false;
    TakeFrames(more, frames_);
    struck_ = !MapFrames(frames_, 0).Of(cell_.phase).empty();
    return struck_;
}

RunResult ProgramCellRunner::Run() {
    RunResult r;
    for (const fs::path& p : {work_, tmp_, state_, package_, data_})
        fs::create_directories(p);
    WritePackage(package_);
    const fs::path password = fs::path(root_.Path()) / "password";
    std::ofstream(password) << text::kApplicationPassword << "\n";

    Scenario scenario;
    scenario.fileFormat = {5, 9};
    scenario.boot = {6, 3};
    scenario.codeplug.generateFormat = 4;
    scenario.codeplug.formatAfterUpdate = {5, 10};
    sim_ = std::make_unique<RadioSim>(scenario);
    const Bytes original = sim_->Codeplug();
    std::string error;
    if (!sim_->Open(error, ports_.Path(), kSimCom)) {
        Problem(r, "the simulated radio did not open: " + error);
        return r;
    }
    const std::string device = sim_->SlavePath();
    SetSystemPortSettings(device);
    const PortSettings before = ReadPortSettings(device);
    sim_->Start();

    // The program's temporary, state and data folders are the cell's own.
    ::setenv("TMPDIR", tmp_.c_str(), 1);
    ::setenv("XDG_STATE_HOME", state_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
    ::setenv("HOME", root_.Path().c_str(), 1);

    testsupport::RunOptions options{work_.string()};
    options.separateErr = true;
    if (cell_.fault == Fault::kSigPipe)
        options.closeOutput = true;
    else
        options.lineSignal = SIGHUP;
    // A wait phase begins with its status line, the others with their first frame.
    if (const char* line = WaitStatus(cell_.phase)) {
        const std::string begins = line;
        options.onLine = [this, begins](const std::string& l) {
            struck_ = struck_ || Begins(l, begins);
            return struck_;
        };
    } else {
        options.eventFd = sim_->ChangeDescriptor();
        options.onEvent = [this] { return FrameBegins(); };
    }
    const std::vector<std::string> args = {
        QUENTA_BIN,        "update",         "--port",    "COM" + std::to_string(kSimCom),
        "--port-dir",      ports_.Path(),    "--package", package_.string(),
        "--password-file", password.string()};
    const testsupport::RunResult run = testsupport::RunProgram(args, options);

    if (!struck_)
        Problem(r, "the phase never began");
    const int expected = cell_.fault == Fault::kSigPipe ? 0 : 3;
    if (run.status != expected)
        Problem(r, "exit " + std::to_string(run.status) + ", not " + std::to_string(expected));
    JournalRow row;
    CheckJournal(r, row);
    r.end = row.status;  // the output may have lost its reader: the journal has the last status
    CheckPlace(r, device);
    if (!SameSettings(before, ReadPortSettings(device)))
        Problem(r, "the port's settings are not as they were");

    // "Done." only when the radio holds the new firmware and the converted codeplug.
    if (run.status == 0) {
        const std::string lacks = ShortOfUpdate(*sim_, original, data_);
        if (!lacks.empty())
            r.FalselyDone("\"Done.\" but " + lacks);
    }

    // What the tool offers next, on the radio as the run left it: after a failed codeplug
    // write the restore of its converted backup, otherwise the update again.
    const bool writeFailed = WriteFailed(r.end);
    const std::vector<std::string> restore = {
        QUENTA_BIN,   "codeplug",    "restore", "--port", "COM" + std::to_string(kSimCom),
        "--port-dir", ports_.Path(), "--yes"};
    const testsupport::RunResult again =
        testsupport::RunProgram(writeFailed ? restore : args, {work_.string()});
    JournalRow second;
    if (NewestRow(second, error))
        r.secondEnd = (writeFailed ? "restore: " : "") + second.status;
    const std::string lacks = ShortOfUpdate(*sim_, original, data_);
    r.recovered = again.status == 0 && lacks.empty();
    if (again.status == 0 && !lacks.empty())
        r.FalselyDone("the second run said it succeeded but " + lacks);
    sim_->Stop();
    r.passed = r.problems.empty();
    return r;
}

bool ProgramCellRunner::NewestRow(JournalRow& row, std::string& error) {
    Journal journal;
    std::vector<JournalRow> rows;
    if (!journal.Open(state_ / "quenta" / "journal.sqlite3", error) ||
        !journal.Rows("", rows, error) || rows.empty())
        return false;
    row = rows.front();
    return true;
}

// The journal's row says how the run ended.
void ProgramCellRunner::CheckJournal(RunResult& r, JournalRow& row) {
    std::string error;
    if (!NewestRow(row, error)) {
        Problem(r, "no journal row: " + error);
        return;
    }
    const char* state = cell_.fault == Fault::kSigPipe ? "done" : "stopped";
    if (row.state != state)
        Problem(r, "the journal row says " + row.state + ", not " + state);
    if (cell_.fault == Fault::kSigPipe && !row.codeplugVerified)
        Problem(r, "the journal row says the codeplug was not verified");
}

// Nothing left behind: the working and temporary folders empty, no lock, the port free.
void ProgramCellRunner::CheckPlace(RunResult& r, const std::string& device) {
    if (!fs::is_empty(work_))
        Problem(r, "left in the working folder: " + Leftovers(work_));
    if (!fs::is_empty(tmp_))
        Problem(r, "left in TMPDIR: " + Leftovers(tmp_));
    for (const std::string& lock : LockFilesLeft(device, sim_->LinkPath()))
        Problem(r, "lock file left: " + lock);
}

}  // namespace

bool IsProgramFault(Fault fault) {
    return fault == Fault::kSigHup || fault == Fault::kSigPipe;
}

RunResult RunProgramCell(const Cell& cell) {
    ProgramCellRunner runner(cell);
    return runner.Run();
}

}  // namespace faultmatrix
