#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ChildProgram.h"
#include "DoctorCommand.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "UsbAdapter.h"

namespace {

namespace fs = std::filesystem;
using doctor::Finding;
using doctor::Severity;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// Sends back what the master side receives, as a plug joining TX and RX would; the byte at
// `corruptAt` (counted from the first) comes back with its lowest bit flipped.
class Echo {
  public:
    explicit Echo(int master, long corruptAt = -1) : master_(master), corruptAt_(corruptAt) {
        // Writes back whole blocks: the master waits for room as a plug's wire would.
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) & ~O_NONBLOCK);
        if (::pipe(stop_) == 0)
            thread_ = std::thread([this] { Run(); });
    }
    ~Echo() {
        const char c = 0;
        if (::write(stop_[1], &c, 1) == 1)
            thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }

  private:
    void Run() {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        unsigned char block[256];
        while (::poll(fds, 2, -1) >= 0 && (fds[1].revents & POLLIN) == 0) {
            const ssize_t n = ::read(master_, block, sizeof block);
            if (n <= 0)
                continue;
            for (ssize_t i = 0; i < n; ++i, ++count_) {
                if (count_ == corruptAt_)
                    block[i] ^= 0x01;
            }
            ::write(master_, block, static_cast<size_t>(n));
        }
    }
    int master_;
    long corruptAt_;
    long count_ = 0;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

testsupport::RunResult Quenta(const std::string& args) {
    testsupport::RunOptions options;
    options.separateErr = true;  // the JSON alone on standard output
    return testsupport::RunProgram(QUENTA_BIN, args, options);
}

const Finding* Find(const std::vector<Finding>& findings, const std::string& topic) {
    for (const Finding& f : findings) {
        if (f.topic == topic)
            return &f;
    }
    return nullptr;
}

// A user alice (uid 1000) and an FTDI adapter /dev/ttyUSB0, root:dialout 0660, on COM5, with
// nothing in the way.
struct Bench {
    doctor::SystemFacts system;
    doctor::PortFacts port;
    Bench() {
        system.user.valid = true;
        system.user.uid = 1000;
        system.user.name = "alice";
        system.user.sessionGroups = system.user.accountGroups = {{20, "dialout"}};
        port.name = "COM5";
        port.check.device = port.check.node = "/dev/ttyUSB0";
        port.device = testsupport::FtdiAdapter("/dev/ttyUSB0");
        port.nodeInfo = {true, 0, 20, 0660, "root", "dialout"};
        port.comNumbers = {5};
        port.latencyTimerFile = "/sys/x/latency_timer";
        port.latencyTimerMs = 16;
    }
    std::vector<Finding> Examine() const { return doctor::ExaminePort(system, port); }
    Severity Of(const std::string& topic) const {
        const std::vector<Finding> all = Examine();
        const Finding* f = Find(all, topic);
        return f ? f->severity : Severity::kOk;
    }
};

TEST(QuentaDoctorTest, AClearBenchBlocksNothing) {
    const std::vector<Finding> findings = Bench().Examine();
    EXPECT_FALSE(doctor::Blocks(findings));
    for (const Finding& f : findings)
        EXPECT_EQ(f.severity, Severity::kOk) << f.topic << ": " << f.text;
}

TEST(QuentaDoctorTest, GroupAndPermissions) {
    Bench outsider;
    outsider.system.user.sessionGroups = outsider.system.user.accountGroups = {};
    const std::vector<Finding> out = outsider.Examine();
    ASSERT_NE(Find(out, "group"), nullptr);
    EXPECT_EQ(Find(out, "group")->severity, Severity::kBlocker);
    EXPECT_EQ(Find(out, "group")->fix.rfind("sudo usermod -aG dialout $USER", 0), 0u);

    Bench addedLater;  // in the group database, not yet in this session
    addedLater.system.user.sessionGroups = {};
    EXPECT_NE(Find(addedLater.Examine(), "group")->fix.find("log out and in again"),
              std::string::npos);
    EXPECT_EQ(addedLater.Of("group"), Severity::kBlocker);

    Bench closed;  // the group may not write: membership does not help
    closed.port.nodeInfo.mode = 0640;
    EXPECT_EQ(closed.Of("permissions"), Severity::kBlocker);

    Bench owner;
    owner.system.user.sessionGroups = owner.system.user.accountGroups = {};
    owner.port.nodeInfo.uid = 1000;
    owner.port.nodeInfo.mode = 0600;
    EXPECT_FALSE(doctor::Blocks(owner.Examine()));

    Bench root = outsider;
    root.system.user.uid = 0;
    root.port.nodeInfo.mode = 0600;
    EXPECT_FALSE(doctor::Blocks(root.Examine()));
}

TEST(QuentaDoctorTest, DaemonsThatGrabAdapters) {
    Bench modem;
    modem.system.modemManagerPid = 812;
    EXPECT_EQ(modem.Of("modemmanager"), Severity::kWarning);
    modem.port.modemManagerIgnores = true;
    EXPECT_EQ(modem.Of("modemmanager"), Severity::kOk);

    Bench ch340;
    ch340.port.device->vendorId = "1a86";
    ch340.port.device->productId = "7523";
    ch340.port.device->driver = "ch341";
    ch340.system.brlttyRulesFile = "/lib/udev/rules.d/85-brltty.rules";
    ch340.system.brlttyRules = "# 1a86/7523/ in a comment claims nothing\n";
    EXPECT_EQ(ch340.Of("brltty"), Severity::kOk);
    ch340.system.brlttyRules += "ENV{PRODUCT}==\"1a86/7523/*\", GOTO=\"brltty_run\"\n";
    EXPECT_EQ(ch340.Of("brltty"), Severity::kBlocker);
    // udev's PRODUCT drops leading zeros; attribute matches keep them.
    EXPECT_TRUE(doctor::RulesClaim("ENV{PRODUCT}==\"67b/2303/*\"", "067b", "2303"));
    EXPECT_TRUE(doctor::RulesClaim("ATTRS{idVendor}==\"10C4\", ATTRS{idProduct}==\"EA60\"", "10c4",
                                   "ea60"));
    EXPECT_FALSE(doctor::RulesClaim("ENV{PRODUCT}==\"1a86/75230/*\"", "1a86", "7523"));

    doctor::SystemFacts withBrltty = ch340.system;
    const std::vector<Finding> none = doctor::ExamineNoDevice(withBrltty);
    EXPECT_TRUE(doctor::Blocks(none));
    ASSERT_NE(Find(none, "brltty"), nullptr);
    EXPECT_NE(Find(none, "brltty")->text.find("CH340"), std::string::npos);
}

TEST(QuentaDoctorTest, AdapterLatencyHolderAndComName) {
    Bench bricked;  // a counterfeit FTDI chip after the driver zeroed its product id
    bricked.port.device->productId = "0000";
    EXPECT_EQ(bricked.Of("adapter"), Severity::kBlocker);
    Bench pl2303;
    pl2303.port.device->vendorId = "067b";
    pl2303.port.device->productId = "2303";
    pl2303.port.device->driver = "pl2303";
    EXPECT_EQ(pl2303.Of("adapter"), Severity::kNote);
    // Without the FTDI driver's low latency, a 16 ms timer stays.
    EXPECT_EQ(pl2303.Of("latency"), Severity::kWarning);

    Bench held;
    held.port.holderPid = 812;
    held.port.holderName = "ModemManager";
    const std::vector<Finding> heldFindings = held.Examine();
    EXPECT_EQ(Find(heldFindings, "holder")->severity, Severity::kBlocker);
    EXPECT_NE(Find(heldFindings, "holder")->fix.find("systemctl stop ModemManager"),
              std::string::npos);
    Bench locked;
    locked.port.lock = {true, 4321, "/var/lock/LCK..ttyUSB0"};
    EXPECT_EQ(locked.Of("holder"), Severity::kBlocker);

    Bench nameless;
    nameless.port.comNumbers.clear();
    EXPECT_EQ(nameless.Of("com"), Severity::kWarning);
    EXPECT_FALSE(doctor::Blocks(nameless.Examine()));

    Bench gone;
    gone.port.check.kind = serial::FailureKind::kAbsent;
    EXPECT_TRUE(doctor::Blocks(gone.Examine()));
}

// The facts come from folders shaped like sysfs, /proc, udev's database and its rules.
TEST(QuentaDoctorTest, GathersFactsFromTheMachinesFolders) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.Slave().empty());
    TempDir dir{"quenta-doctor"};
    doctor::FactRoots roots;
    roots.sysRoot = dir / "sys";
    roots.procRoot = dir / "proc";
    roots.udevDataDir = dir / "udev";
    roots.udevRulesDirs = {dir / "etc-rules", dir / "lib-rules"};
    roots.lockDirs = {dir / "lock"};
    fs::create_directories(roots.lockDirs[0]);

    const fs::path tty = dir / "sys/devices/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0";
    Write(tty / "dev", "188:0\n");
    Write(tty / "device/latency_timer", "16\n");
    Write(dir / "udev/c188:0", "E:ID_VENDOR_ID=0403\nE:ID_MM_DEVICE_IGNORE=1\n");
    Write(dir / "lib-rules/85-brltty.rules", "ENV{PRODUCT}==\"1a86/7523/*\"\n");
    Write(dir / "proc/812/comm", "ModemManager\n");
    Write(dir / "proc/4242/comm", "minicom\n");
    fs::create_directories(dir / "proc/4242/fd");
    fs::create_symlink(pty.Slave(), dir / "proc/4242/fd/3");

    serial::SerialDevice device = testsupport::FtdiAdapter(pty.Slave());
    device.sysPath = tty.string();
    serial::OpenFailure check;
    check.device = check.node = pty.Slave();
    serial::ComPortEntry entry;
    entry.comNumber = 7;
    entry.check = check;
    entry.device = device;

    const doctor::SystemFacts system = doctor::GatherSystemFacts(roots, serial::UserInfo());
    EXPECT_EQ(system.modemManagerPid, 812);
    EXPECT_EQ(system.brlttyRulesFile, dir / "lib-rules/85-brltty.rules");
    EXPECT_TRUE(doctor::RulesClaim(system.brlttyRules, "1a86", "7523"));

    doctor::PortFacts port = doctor::GatherPortFacts(roots, "COM7", check, {device}, {entry});
    EXPECT_TRUE(port.modemManagerIgnores);
    EXPECT_EQ(port.latencyTimerMs, 16);
    EXPECT_EQ(port.comNumbers, std::vector<int>{7});
    EXPECT_EQ(port.holderPid, 4242);
    EXPECT_EQ(port.holderName, "minicom");
    EXPECT_TRUE(port.nodeInfo.valid);

    // An flock names its holder before an open descriptor does.
    struct stat st {};
    ASSERT_EQ(::stat(pty.Slave().c_str(), &st), 0);
    char locks[128];
    std::snprintf(locks, sizeof locks, "1: FLOCK  ADVISORY  WRITE 4343 %x:%x:%llu 0 EOF\n",
                  major(st.st_dev), minor(st.st_dev), static_cast<unsigned long long>(st.st_ino));
    Write(dir / "proc/locks", locks);
    Write(dir / "proc/4343/comm", "cu\n");
    port = doctor::GatherPortFacts(roots, "COM7", check, {device}, {entry});
    EXPECT_EQ(port.holderPid, 4343);
    EXPECT_EQ(port.holderName, "cu");
}

TEST(QuentaDoctorTest, LoopbackChecksEveryByte) {
    EXPECT_EQ(doctor::Percentile({5, 1, 4, 2, 3}, 0.5), 3);
    EXPECT_EQ(doctor::Percentile({5, 1, 4, 2, 3}, 0.99), 5);

    PseudoTerminal pty;
    ASSERT_FALSE(pty.Slave().empty());
    doctor::LoopbackOptions options;
    options.exchanges = 5;
    options.replyTimeoutMs = 30000;  // only a fault ever waits this long
    {
        Echo echo(pty.Master());
        const doctor::LoopbackResult result = doctor::RunLoopback(pty.Slave(), options);
        ASSERT_TRUE(result.Passed()) << result.openProblem;
        ASSERT_EQ(result.rates.size(), 2u);
        for (const doctor::LoopbackRate& rate : result.rates) {
            EXPECT_GT(rate.bytesChecked, 1000u);
            EXPECT_EQ(rate.bytesChecked, rate.bytesSent);
            EXPECT_LE(rate.medianMs, rate.p99Ms);
        }
    }
    {
        Echo echo(pty.Master(), 300);
        const doctor::LoopbackResult result = doctor::RunLoopback(pty.Slave(), options);
        EXPECT_FALSE(result.Passed());
        EXPECT_NE(result.rates.at(0).problem.find("byte 300 "), std::string::npos)
            << result.rates.at(0).problem;
    }
}

// The command end to end on a pseudo-terminal: exit statuses and the JSON it writes.
TEST(QuentaDoctorTest, CommandReportsAndExits) {
    EXPECT_EQ(Quenta("doctor --bogus").status, 2);
    EXPECT_EQ(Quenta("doctor --port-dir /nonexistent/folder").status, 2);
    PseudoTerminal pty;
    ASSERT_FALSE(pty.Slave().empty());
    // A pseudo-terminal is no adapter, but nothing blocks it.
    const testsupport::RunResult run = Quenta("doctor --json --port " + pty.Slave());
    EXPECT_EQ(run.status, 0) << run.out;
    const nlohmann::json j = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << run.out;
    EXPECT_EQ(j["blocked"], false);
    ASSERT_EQ(j["ports"].size(), 1u);
    EXPECT_EQ(j["ports"][0]["node"], pty.Slave());
    EXPECT_EQ(j["ports"][0]["findings"][0]["topic"], "device");

    const testsupport::RunResult gone = Quenta("doctor --port /dev/quenta-no-such-port");
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.out.find("blocks"), std::string::npos) << gone.out;
}

}  // namespace
