// The device and the port on real pseudo-terminals, through the real system layer: the test
// sees what the port configured as the radio (or the simulated radio) would.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iomanip>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FileText.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "serial/LinuxTty.h"
#include "serial/PortAvailability.h"
#include "serial/PortRestore.h"
#include "serial/PosixSerialOs.h"
#include "serial/ZKWCommDeviceSerial.h"
#include "serial/ZKWWinExtSerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Upper bounds on waits are nets against a wait without end, far above anything load adds.
constexpr int kSafetyNetMs = 30000;
// "At once" is told from a wait of the device's own timeouts (two seconds and more): well
// below those, and far above what a loaded machine needs for a couple of system calls.
constexpr long kAtOnceMs = 1000;

// True once thread tid (of any process) sleeps in the kernel, blocked in a wait.
bool Sleeping(pid_t tid) {
    std::ifstream stat("/proc/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
}

// Waits until the slave side has n bytes queued (bytes written to the master reach the slave
// through the kernel's flip buffer, not synchronously).
bool WaitQueued(ZKWWinExtSerialPort& port, int n) {
    const auto start = Clock::now();
    while (ElapsedMs(start) < kSafetyNetMs) {
        if (port.BytesAvailable() >= n)
            return true;
        ::usleep(1000);
    }
    return false;
}

class PtyPort : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.Slave().empty());
        ASSERT_EQ(::symlink(pty.Slave().c_str(), (ports / "COM3").c_str()), 0);
        os.Resolver().SetPortDirectory(ports.Path());
        os.SetLockDirectories({locks.Path()});
        port.SetPortName("COM3");
    }

    std::unique_ptr<ZKWCommDeviceSerial> NewDevice() {
        return std::make_unique<ZKWCommDeviceSerial>(std::make_unique<ZKWWinExtSerialPort>(os));
    }
    std::string LockFile() const { return locks / serial::LockFileName(pty.Slave()); }
    // A lock file as another program would leave it.
    void WriteLockFile(pid_t pid) const {
        std::ofstream(LockFile()) << std::setw(10) << pid << "\n";
    }

    PseudoTerminal pty;
    TempDir ports;
    TempDir locks;
    serial::PosixSerialOs os;
    ZKWWinExtSerialPort port{os};  // on COM3
    std::unique_ptr<ZKWCommDeviceSerial> device = NewDevice();
};

TEST_F(PtyPort, OpensByComNumberAt19200EightNOne) {
    ASSERT_TRUE(device->OpenPort(3, 14, false)) << device->FailureText();
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), B19200);
    EXPECT_EQ(::cfgetispeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
    EXPECT_EQ(os.NodeOf(device->Port().Handle()), pty.Slave());
}

TEST_F(PtyPort, EveryRateOfTheBaudTableIncludingTheNonStandardOnes) {
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    for (int i = 0; i < ZKWWinExtSerialBase::kBaudTableSize; ++i) {
        ASSERT_EQ(device->SetBaud(i), 1) << i;
        EXPECT_EQ(serial::linux_tty::ReadBaudRate(pty.Master()), ZKWWinExtSerialBase::BaudRateOf(i))
            << i;
    }
    // The switch to 115200 keeps 8N1.
    EXPECT_EQ(device->SetBaud(19), 1);
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
}

// A pseudo-terminal keeps every line setting except the character size and the parity
// enable, which its driver forces to 8 bits, no parity; the data-bit and parity rules are
// covered against the recording layer.
TEST_F(PtyPort, CharacterFormatsAndFlowControlReachTheLine) {
    struct Case {
        int parity, stopBits, flow;
        tcflag_t cflag;  // of PARODD, CMSPAR, CSTOPB and CRTSCTS
        tcflag_t iflag;  // of INPCK, IXON and IXOFF
    };
    ASSERT_TRUE(port.Open());
    const tcflag_t cMask = PARODD | CMSPAR | CSTOPB | CRTSCTS, iMask = INPCK | IXON | IXOFF;
    for (const Case& c : {Case{1, 0, 0, PARODD, INPCK}, Case{4, 0, 0, CMSPAR, INPCK},
                          Case{0, 0, 0, 0, 0}, Case{0, 2, 0, CSTOPB, 0}, Case{0, 0, 1, CRTSCTS, 0},
                          Case{0, 0, 2, 0, IXON | IXOFF}, Case{0, 0, 0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << "parity " << c.parity << ", stop bits " << c.stopBits
                                        << ", flow " << c.flow);
        port.SetParity(c.parity);
        port.SetStopBits(c.stopBits);
        port.SetFlowControl(c.flow);
        const termios t = pty.SlaveSettings();
        EXPECT_EQ(t.c_cflag & cMask, c.cflag);
        EXPECT_EQ(t.c_iflag & iMask, c.iflag);
    }
    // Read back through the layer as well.
    serial::LineSettings line;
    ASSERT_TRUE(os.GetConfig(port.Handle(), line));
    EXPECT_EQ(line.baudRate, 19200u);
    EXPECT_EQ(line.stopBits, serial::kOneStopBit);
    EXPECT_FALSE(line.outX || line.inX || line.outxCtsFlow);
}

TEST_F(PtyPort, InvalidLineSettingsAreRefusedByTheLayer) {
    ASSERT_TRUE(port.Open());
    serial::LineSettings bad = port.Config();
    bad.parity = 7;
    EXPECT_FALSE(os.SetConfig(port.Handle(), bad));
    EXPECT_EQ(os.LastOsError(), EINVAL);
    EXPECT_EQ(port.SetParity(7), -1);  // the port hands the refusal on
    EXPECT_EQ(port.OsError(), EINVAL);
    bad = port.Config();
    bad.parity = 0;
    bad.byteSize = 8;
    bad.stopBits = serial::kOne5StopBits;
    EXPECT_FALSE(os.SetConfig(port.Handle(), bad));
    bad.byteSize = 5;
    bad.stopBits = serial::kTwoStopBits;
    EXPECT_FALSE(os.SetConfig(port.Handle(), bad));
    bad.stopBits = serial::kOneStopBit;
    bad.baudRate = 0;
    EXPECT_FALSE(os.SetConfig(port.Handle(), bad));
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), B19200);
}

TEST_F(PtyPort, WritesAndReadsInBothDirections) {
    ASSERT_TRUE(device->OpenPort(3, 19, false));
    std::string frame;
    for (int i = 0; i < 300; ++i)
        frame.push_back(static_cast<char>(i));
    EXPECT_EQ(device->Write(frame.data(), static_cast<int>(frame.size())), 300);
    EXPECT_EQ(pty.Receive(frame.size()), frame);

    ASSERT_TRUE(pty.Send(std::string("\x02reply\x00\x0d\x0a\x11\x13", 11)));
    ASSERT_TRUE(WaitQueued(device->Port(), 11));
    EXPECT_TRUE(device->HasData());
    std::string got;
    char c = 0;
    while (device->HasData() && device->ReadByte(c) == 1)
        got.push_back(c);
    EXPECT_EQ(got, std::string("\x02reply\x00\x0d\x0a\x11\x13", 11));
    EXPECT_FALSE(device->HasData());
}

// The queue count covers bytes the layer has already taken from the driver and bytes still in
// it, past the layer's own room, and a byte-at-a-time reader gets every byte once, in order.
TEST_F(PtyPort, QueuedBytesAreCountedAndReadInOrderAcrossArrivals) {
    ASSERT_TRUE(device->OpenPort(3, 19, false));
    std::string sent;
    for (int i = 0; i < 6000; ++i)
        sent.push_back(static_cast<char>(i * 7 % 251));
    ASSERT_TRUE(pty.Send(sent.substr(0, 3000)));
    ASSERT_TRUE(WaitQueued(device->Port(), 3000));
    std::string got;
    char c = 0;
    while (got.size() < 10 && device->ReadByte(c) == 1)
        got.push_back(c);
    ASSERT_TRUE(pty.Send(sent.substr(3000)));
    ASSERT_TRUE(WaitQueued(device->Port(), 5990));
    EXPECT_EQ(device->Port().BytesAvailable(), 5990);
    while (device->HasData() && device->ReadByte(c) == 1)
        got.push_back(c);
    EXPECT_EQ(got, sent);
}

TEST_F(PtyPort, ReadOnAnEmptyQueueReturnsZeroAtOnceAndLeavesTheOutputUntouched) {
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    char buffer[16];
    const auto start = Clock::now();
    EXPECT_EQ(device->Read(buffer, 16), 0);
    char c = '#';
    EXPECT_EQ(device->ReadByte(c), 0);
    EXPECT_LT(ElapsedMs(start), kAtOnceMs);
    EXPECT_EQ(device->LastError(), 0);
    EXPECT_EQ(c, '#');
}

TEST_F(PtyPort, AShortQueueWaitsForTheRestNoLongerThanTheTimeouts) {
    port.SetTimeouts(0, 100);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(pty.Send("abc"));
    ASSERT_TRUE(WaitQueued(port, 3));
    char buffer[10];
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, 10), 3);
    const long waited = ElapsedMs(start);
    EXPECT_GE(waited, 90);
    EXPECT_LT(waited, kSafetyNetMs);
    EXPECT_EQ(std::string(buffer, 3), "abc");
}

TEST_F(PtyPort, BytesArrivingDuringTheWaitAreTaken) {
    port.SetTimeouts(20, 0);  // a 20-second interval: the rest must end the read, not the time
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(pty.Send("ab"));
    ASSERT_TRUE(WaitQueued(port, 2));
    // The sender writes the rest once the reading thread has blocked in its wait.
    const pid_t reader = static_cast<pid_t>(::gettid());
    const pid_t sender = ::fork();
    if (sender == 0) {
        while (!Sleeping(reader))
            ::usleep(1000);
        ::_exit(::write(pty.Master(), "cd", 2) == 2 ? 0 : 1);
    }
    ASSERT_GT(sender, 0);
    char buffer[4];
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, 4), 4);
    const long waited = ElapsedMs(start);
    int senderStatus = -1;
    ::waitpid(sender, &senderStatus, 0);
    EXPECT_TRUE(WIFEXITED(senderStatus) && WEXITSTATUS(senderStatus) == 0);
    EXPECT_LT(waited, 10000);  // ended by the last byte, not by the interval
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST_F(PtyPort, AWriteNobodyReadsEndsAtItsTimeout) {
    ASSERT_TRUE(port.Open());
    serial::Timeouts t;
    t.writeTotalConstant = 100;
    ASSERT_TRUE(os.SetTimeouts(port.Handle(), t));
    const std::string block(1 << 20, 'w');  // far more than the pseudo-terminal buffers
    uint32_t put = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(os.Write(port.Handle(), block.data(), static_cast<uint32_t>(block.size()), put));
    const long waited = ElapsedMs(start);
    EXPECT_GT(put, 0u);
    EXPECT_LT(put, block.size());
    EXPECT_GE(waited, 90);
    EXPECT_LT(waited, kSafetyNetMs);
}

TEST_F(PtyPort, SpecialReadTimeouts) {
    ASSERT_TRUE(port.Open());
    char buffer[8];
    uint32_t got = 0;
    // Interval at its maximum, no totals: whatever is queued, at once.
    serial::Timeouts atOnce;
    atOnce.readInterval = serial::kMaxTimeout;
    ASSERT_TRUE(os.SetTimeouts(port.Handle(), atOnce));
    auto start = Clock::now();
    EXPECT_TRUE(os.Read(port.Handle(), buffer, 8, got));
    EXPECT_EQ(got, 0u);
    EXPECT_LT(ElapsedMs(start), kAtOnceMs);
    // Interval and multiplier at their maximum: up to the constant for the first byte, then
    // back with what has come.
    serial::Timeouts firstByte;
    firstByte.readInterval = serial::kMaxTimeout;
    firstByte.readTotalMultiplier = serial::kMaxTimeout;
    firstByte.readTotalConstant = 100;
    ASSERT_TRUE(os.SetTimeouts(port.Handle(), firstByte));
    start = Clock::now();
    EXPECT_TRUE(os.Read(port.Handle(), buffer, 8, got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ElapsedMs(start), 90);
    // With a first byte there, it comes back with what has come, long before a 20-second
    // constant.
    firstByte.readTotalConstant = 20000;
    ASSERT_TRUE(os.SetTimeouts(port.Handle(), firstByte));
    ASSERT_TRUE(pty.Send("xy"));
    start = Clock::now();
    EXPECT_TRUE(os.Read(port.Handle(), buffer, 8, got));
    EXPECT_GE(got, 1u);
    EXPECT_LT(ElapsedMs(start), 10000);
}

TEST_F(PtyPort, HasDataIsFalseWhenClosed) {
    EXPECT_FALSE(device->HasData());
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    ASSERT_TRUE(pty.Send("x"));
    ASSERT_TRUE(WaitQueued(device->Port(), 1));
    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_FALSE(device->HasData());
}

TEST_F(PtyPort, ASecondOpenOfAHeldPortFails) {
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    auto second = NewDevice();
    EXPECT_FALSE(second->OpenPort(3, 14, false));
    EXPECT_FALSE(second->IsOpen());
    const serial::OpenFailure& f = second->Port().LastOpenFailure();
    EXPECT_EQ(f.kind, serial::FailureKind::kBusy);
    EXPECT_TRUE(f.holderIsSelf);
    EXPECT_EQ(second->FailureText(), "busy: " + pty.Slave() + " is already open in this program");
    // Another system layer of the same process fares no better.
    serial::PosixSerialOs other;
    other.SetLockDirectories({locks.Path()});
    ZKWWinExtSerialPort port(other);
    port.SetPortName(pty.Slave());
    EXPECT_FALSE(port.Open());
    // Once the first closes, the port opens again.
    device->Close();
    EXPECT_TRUE(second->OpenPort(3, 14, false)) << second->FailureText();
}

TEST_F(PtyPort, APortAnotherProcessHoldsIsBusyWithItsPid) {
    const std::string slave = pty.Slave();
    ChildProcess holder([&slave] {
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        ::flock(fd, LOCK_EX | LOCK_NB);
    });
    EXPECT_FALSE(device->OpenPort(3, 14, false));
    const serial::OpenFailure& f = device->Port().LastOpenFailure();
    EXPECT_EQ(f.kind, serial::FailureKind::kBusy);
    EXPECT_EQ(f.holderPid, holder.Pid());
    EXPECT_EQ(device->FailureText(), "busy: " + slave + " is in use by another program (PID " +
                                         std::to_string(holder.Pid()) + ", serial_tests)");
    EXPECT_EQ(device->Port().Baud(), 14);
}

TEST_F(PtyPort, ALiveLockFileRefusesThePortBeforeTouchingIt) {
    ChildProcess other([] {});
    WriteLockFile(other.Pid());
    EXPECT_FALSE(device->OpenPort(3, 14, false));
    const serial::OpenFailure& f = device->Port().LastOpenFailure();
    EXPECT_EQ(f.kind, serial::FailureKind::kBusy);
    EXPECT_EQ(f.holderPid, other.Pid());
    EXPECT_EQ(f.lockFile, LockFile());
}

TEST_F(PtyPort, APortOpenedWithoutALockFileIsReported) {
    std::vector<std::string> notices;
    os.SetNoticeSink([&notices](const std::string& text) { notices.push_back(text); });
    ASSERT_EQ(::symlink("/nonexistent", LockFile().c_str()), 0);
    ASSERT_TRUE(device->OpenPort(3, 14, false)) << device->FailureText();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("running without a lock file for " + pty.Slave()), std::string::npos)
        << notices[0];
    EXPECT_NE(notices[0].find(LockFile() + " is a symbolic link"), std::string::npos) << notices[0];
    device->Close();
    // With a lock file, nothing to report.
    ASSERT_EQ(::unlink(LockFile().c_str()), 0);
    ASSERT_TRUE(device->OpenPort(3, 14, false)) << device->FailureText();
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(PtyPort, AStaleLockFileIsNoLock) {
    WriteLockFile(DeadPid());
    ASSERT_TRUE(device->OpenPort(3, 14, false)) << device->FailureText();
    EXPECT_EQ(serial::ParseLockPid(testsupport::ReadFile(LockFile())), ::getpid());
}

TEST_F(PtyPort, TheLockFileNamesTheRealNodeAndGoesAtCloseOrDestruction) {
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    // Opened through the COM3 link, locked under the node's own name.
    EXPECT_EQ(::access(LockFile().c_str(), F_OK), 0) << LockFile();
    device->Close();
    EXPECT_NE(::access(LockFile().c_str(), F_OK), 0);
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    device.reset();
    EXPECT_NE(::access(LockFile().c_str(), F_OK), 0);
    EXPECT_TRUE(NewDevice()->OpenPort(3, 14, false));
}

TEST_F(PtyPort, AnAbsentPortFailsBeforeAnySettingIsApplied) {
    ASSERT_EQ(::symlink("/dev/quenta-no-such-device", (ports / "COM8").c_str()), 0);
    EXPECT_FALSE(device->OpenPort(8, 19, true));
    const serial::OpenFailure& f = device->Port().LastOpenFailure();
    EXPECT_EQ(f.kind, serial::FailureKind::kAbsent);
    EXPECT_EQ(f.source, serial::NameSource::kPortDirectory);
    EXPECT_EQ(device->FailureText(),
              "not present: COM8 links to /dev/quenta-no-such-device, which does not exist (" +
                  (ports / "COM8") + ")");
    EXPECT_EQ(device->Port().Baud(), 14);
    EXPECT_EQ(device->Port().FlowControl(), 0);
    EXPECT_FALSE(device->IsOpen());
    // An unmapped COM number as well.
    EXPECT_FALSE(device->OpenPort(99, 14, false));
    EXPECT_EQ(device->Port().LastOpenFailure().source, serial::NameSource::kUnmapped);
}

TEST_F(PtyPort, ANonTerminalIsNotASerialPort) {
    port.SetPortName("/dev/null");
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenFailure().kind, serial::FailureKind::kNotSerial);
    const std::string file = ports / "plain";
    std::ofstream(file) << "x";
    port.SetPortName(file);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenFailure().kind, serial::FailureKind::kNotSerial);
}

TEST_F(PtyPort, ReopenAppliesTheStoredSettingsAgain) {
    ASSERT_TRUE(port.Open());
    port.SetBaud(19);
    port.Close();
    ASSERT_TRUE(port.Open());
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), B115200);
}

TEST_F(PtyPort, ASecondCloseDoesNotCloseAFileThatReusedTheNumber) {
    ASSERT_TRUE(port.Open());
    const int number = port.Descriptor();
    port.Close();
    // Take descriptors until the port's old number is handed out again.
    std::vector<int> files;
    while (files.size() < 8 && (files.empty() || files.back() != number)) {
        files.push_back(::open("/dev/null", O_RDONLY));
    }
    ASSERT_EQ(files.back(), number);
    EXPECT_EQ(port.Close(), -1);
    for (int fd : files) {
        EXPECT_NE(::fcntl(fd, F_GETFL), -1);  // still open
        ::close(fd);
    }
}

TEST_F(PtyPort, AClosedPortsHandleCannotReachAPortOpenedLater) {
    ZKWWinExtSerialPort& first = port;
    ASSERT_TRUE(first.Open());
    first.Close();
    ZKWWinExtSerialPort second(os);
    second.SetPortName("COM3");
    ASSERT_TRUE(second.Open());
    EXPECT_NE(first.Handle(), second.Handle());
    EXPECT_EQ(first.Close(), -1);  // refused: the handle is spent
    EXPECT_EQ(first.InputQueued(), 0);
    EXPECT_TRUE(second.IsOpen());
    ASSERT_TRUE(pty.Send("k"));
    ASSERT_TRUE(WaitQueued(second, 1));
}

TEST_F(PtyPort, TheDescriptorSignalsInput) {
    EXPECT_EQ(device->Descriptor(), -1);
    ASSERT_TRUE(device->OpenPort(3, 14, false));
    const int fd = device->Descriptor();
    ASSERT_GE(fd, 0);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    ASSERT_TRUE(pty.Send("x"));
    EXPECT_EQ(::poll(&p, 1, kSafetyNetMs), 1);
    device->Close();
    EXPECT_EQ(device->Descriptor(), -1);
}

TEST_F(PtyPort, ControlLinesOfAPseudoTerminalAreRefusedQuietly) {
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.SetDtr(true), -1);  // no modem lines on a pseudo-terminal
    EXPECT_NE(port.OsError(), 0);
    EXPECT_EQ(port.ModemStatus(), 0u);
    // Mode 3 asks for RTS-on-send, which a pseudo-terminal lacks; the line settings hold.
    EXPECT_EQ(port.SetFlowControl(3), 1);
    EXPECT_NE(pty.SlaveSettings().c_cflag & CRTSCTS, 0u);
}

TEST_F(PtyPort, WriteCharAndReadLine) {
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.WriteChar('Z'));
    EXPECT_EQ(pty.Receive(1), "Z");
    ASSERT_TRUE(pty.Send("OK\nmore"));
    ASSERT_TRUE(WaitQueued(port, 7));
    char line[32];
    EXPECT_EQ(port.ReadLine(line, sizeof line), 4);
    EXPECT_STREQ(line, "OK\n");
    EXPECT_TRUE(port.HasInput());
    EXPECT_EQ(port.InputQueued(), 4);
}

// The line settings are the user's: what the port found at open goes back at close, and on
// the signal path while the port is still open.
TEST_F(PtyPort, SettingsFoundAtOpenGoBackOnTheSignalPathAndAtClose) {
    termios before = pty.SlaveSettings();
    ::cfsetspeed(&before, B9600);
    before.c_lflag |= ICANON | ECHO;
    before.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &before), 0);
    before = pty.SlaveSettings();
    const auto same = [](const termios& a, const termios& b) {
        return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
               a.c_lflag == b.c_lflag && ::cfgetospeed(&a) == ::cfgetospeed(&b);
    };
    ASSERT_TRUE(device->OpenPort(3, 19, false));
    ASSERT_FALSE(same(pty.SlaveSettings(), before));
    serial::RestoreAllPortSettings();
    EXPECT_TRUE(same(pty.SlaveSettings(), before));
    ASSERT_EQ(device->SetBaud(19), 1);
    ASSERT_FALSE(same(pty.SlaveSettings(), before));
    device->Close();
    EXPECT_TRUE(same(pty.SlaveSettings(), before));
}

TEST_F(PtyPort, HangUpOfTheOtherSideEndsReads) {
    PseudoTerminal other;
    ASSERT_EQ(::symlink(other.Slave().c_str(), (ports / "COM4").c_str()), 0);
    ASSERT_TRUE(device->OpenPort(4, 14, false));
    other.Close();
    // The link sees no data (the query fails or finds nothing) and no read waits.
    const auto start = Clock::now();
    EXPECT_FALSE(device->HasData());
    char c = 0;
    EXPECT_LE(device->ReadByte(c), 0);
    EXPECT_LT(ElapsedMs(start), kAtOnceMs);
}

TEST(SerialHardware, APortOfUnknownTypeHasNoUartBehindIt) {
    TempDir sys;
    ASSERT_EQ(::mkdir((sys / "ttyS0").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((sys / "ttyS1").c_str(), 0755), 0);
    std::ofstream(sys / "ttyS0/type") << "0\n";
    std::ofstream(sys / "ttyS1/type") << "4\n";  // a 16550A
    EXPECT_TRUE(serial::NoSerialHardware("/dev/ttyS0", sys.Path()));
    EXPECT_FALSE(serial::NoSerialHardware("/dev/ttyS1", sys.Path()));
    EXPECT_FALSE(serial::NoSerialHardware("/dev/ttyUSB0", sys.Path()));  // no such attribute
}

// The port scan's check, through the process's own system layer.
class PtyAvailability : public PtyPort {
  protected:
    void SetUp() override {
        PtyPort::SetUp();
        serial::SystemSerialOs().Resolver().SetPortDirectory(ports.Path());
        serial::SystemSerialOs().SetLockDirectories({locks.Path()});
    }
    void TearDown() override {
        serial::SystemSerialOs().Resolver().SetPortDirectory(
            serial::ComPortResolver::DefaultPortDirectory());
        serial::SystemSerialOs().SetLockDirectories(
            serial::PosixSerialOs::DefaultLockDirectories());
    }
};

TEST_F(PtyAvailability, AFreePortIsAvailableAndTheCheckLeavesNoTrace) {
    const serial::OpenFailure check = serial::CheckComPort(3);
    EXPECT_TRUE(serial::IsAvailable(check)) << serial::DescribeOpenFailure(check);
    EXPECT_EQ(check.device, ports / "COM3");
    EXPECT_EQ(check.node, pty.Slave());
    EXPECT_NE(::access(LockFile().c_str(), F_OK), 0);
    EXPECT_TRUE(serial::IsAvailable(serial::CheckComPort(3, serial::ProbeMode::kOpen)));
}

TEST_F(PtyAvailability, AHeldPortIsBusy) {
    ZKWCommDeviceSerial linkDevice;  // on the process's system layer, as the link makes it
    ASSERT_TRUE(linkDevice.OpenPort(3, 14, false)) << linkDevice.FailureText();
    const serial::OpenFailure check = serial::CheckComPort(3);
    EXPECT_EQ(check.kind, serial::FailureKind::kBusy);
    EXPECT_TRUE(check.holderIsSelf);
    linkDevice.Close();
    EXPECT_TRUE(serial::IsAvailable(serial::CheckComPort(3)));
}

TEST_F(PtyAvailability, APortOpenInAnotherProcessIsBusy) {
    const std::string slave = pty.Slave();
    // Only the slave: the master the child inherits would make it the line's other end.
    const int master = pty.Master();
    ChildProcess holder([&slave, master] {
        ::close(master);
        ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    });
    const serial::OpenFailure check = serial::CheckPort(slave);
    EXPECT_EQ(check.kind, serial::FailureKind::kBusy);
    EXPECT_EQ(check.holderPid, holder.Pid());
}

TEST_F(PtyAvailability, AbsentAndUnmappedPorts) {
    EXPECT_EQ(serial::CheckComPort(99).kind, serial::FailureKind::kAbsent);
    EXPECT_EQ(serial::CheckPort("/dev/quenta-no-such-device").kind, serial::FailureKind::kAbsent);
    const std::string file = ports / "plain";
    std::ofstream(file) << "x";
    EXPECT_EQ(serial::CheckPort(file).kind, serial::FailureKind::kNotSerial);
}

}  // namespace
