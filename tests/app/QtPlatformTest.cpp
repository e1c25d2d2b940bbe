#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <thread>

#include "PseudoTerminal.h"
#include "RadioSim.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "link/RadioLink.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double CpuMs() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Only a net so that a broken wait ends the test; a loaded machine never comes near it.
constexpr double kSafetyNetMs = 30000;

// The next want bytes the port wrote to the pseudo-terminal, with the event loop running (the
// port writes from it).
std::string ReadMaster(const PseudoTerminal& pty, std::size_t want) {
    std::string out;
    const auto start = Clock::now();
    while (out.size() < want && MsSince(start) < kSafetyNetMs) {
        out += pty.Receive(want - out.size(), 5);
        QCoreApplication::processEvents();
    }
    return out;
}

TEST(QtMessagePump, WaitBlocksUntilTheDescriptorIsReadable) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    QtMessagePump pump;
    // The writer's delay only gives the pump time to block; nothing depends on its length.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        char c = 'x';
        ASSERT_EQ(write(fds[1], &c, 1), 1);
    });
    const double cpu0 = CpuMs();
    // It may return early (events already posted), never spin: a handful of calls at most.
    int calls = 0;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 0) == 0 && calls < 100) {
        pump.WaitForEvent(fds[0], -1);
        ++calls;
    }
    writer.join();
    EXPECT_LE(calls, 5);
    EXPECT_LT(CpuMs() - cpu0, 40);  // blocked, not spinning
    close(fds[0]);
    close(fds[1]);
}

TEST(QtMessagePump, WaitEndsWithATimerOrTheCap) {
    QtMessagePump pump;
    bool fired = false;
    QTimer::singleShot(40, [&] { fired = true; });
    auto start = Clock::now();
    while (!fired && MsSince(start) < kSafetyNetMs)
        pump.WaitForEvent(-1, -1);
    EXPECT_TRUE(fired);
    // With nothing else to wake it, the cap ends the wait, and not before it has passed.
    start = Clock::now();
    pump.WaitForEvent(-1, 30);
    EXPECT_GE(MsSince(start), 20);
    EXPECT_LT(MsSince(start), kSafetyNetMs);
}

TEST(QtIntervalTimer, FiresThroughTheEventLoopUntilDisabled) {
    QtMessagePump pump;
    QtIntervalTimer timer;
    int ticks = 0;
    timer.SetOnTimer([&] {
        if (++ticks == 3)
            timer.SetEnabled(false);
    });
    timer.SetInterval(10);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.IsEnabled());
    auto start = Clock::now();
    while (timer.IsEnabled() && MsSince(start) < kSafetyNetMs)
        pump.WaitForEvent(-1, 100);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.IsEnabled());
}

TEST(QtPortComponent, TicksAreEighteenToTheSecond) {
    EXPECT_EQ(TicksToMilliseconds(18), 1000);
    EXPECT_EQ(TicksToMilliseconds(72), 4000);
    EXPECT_EQ(TicksToMilliseconds(270), 15000);
    EXPECT_EQ(TicksToMilliseconds(1), 56);
}

TEST(QtPortComponent, MovesBytesBothWaysAndFollowsTheRate) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.Slave().empty());
    QtPortComponent port([&](int) { return pty.Slave(); });
    port.SetComNumber(3);
    ASSERT_EQ(port.SetOpen(true), 0) << port.LastErrorText();
    EXPECT_TRUE(port.Open());
    EXPECT_FALSE(port.CTS());  // a pseudo-terminal has no modem lines

    const std::uint8_t out[] = {0xBA, 0x7F, 0x01, 0x04, 0x2D, 0x4F, 0x7E};
    EXPECT_EQ(port.PutBlock(out, sizeof out), 0);
    EXPECT_EQ(ReadMaster(pty, sizeof out), std::string(out, out + sizeof out));
    EXPECT_EQ(port.OutBuffUsed(), 0);
    EXPECT_EQ(port.OutBuffFree(), QtPortComponent::kBufferSize);

    ASSERT_TRUE(pty.Send("\x01\x02\x03"));
    QtMessagePump pump;
    auto start = Clock::now();
    while (!port.CharReady() && MsSince(start) < kSafetyNetMs)
        pump.WaitForEvent(-1, 10);
    ASSERT_TRUE(port.CharReady());
    EXPECT_EQ(port.GetChar(), 1);
    port.FlushInBuffer();

    port.SetBaud(115200);
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
}

TEST(QtPortComponent, OpenFailures) {
    QtPortComponent missing([](int) { return std::string("/dev/does-not-exist-quenta"); });
    EXPECT_EQ(missing.SetOpen(true), PortComponent::kErrOpenFailed);
    EXPECT_FALSE(missing.LastErrorText().empty());

    PseudoTerminal pty;
    QtPortComponent first([&](int) { return pty.Slave(); });
    QtPortComponent second([&](int) { return pty.Slave(); });
    ASSERT_EQ(first.SetOpen(true), 0);
    EXPECT_EQ(first.SetOpen(true), PortComponent::kErrAlreadyOpen);
    EXPECT_EQ(second.SetOpen(true), PortComponent::kErrAlreadyOpen) << second.LastErrorText();
}

TEST(QtPortComponent, TimerTriggersFireOnceThroughTheLoopAndCanBeDisarmed) {
    QtPortComponent port;
    std::vector<int> fired;
    port.SetOnTriggerTimer([&](int h) { fired.push_back(h); });
    const int a = port.AddTimerTrigger();
    const int b = port.AddTimerTrigger();
    ASSERT_NE(a, 0);
    ASSERT_NE(a, b);
    port.SetTimerTrigger(a, 2, true);
    port.SetTimerTrigger(b, 2, true);
    port.SetTimerTrigger(b, 0, false);
    auto start = Clock::now();
    port.DelayTicks(6, true);  // 333 ms with the loop running
    EXPECT_GE(MsSince(start), 300);
    // Trigger a fires from the loop; a loaded machine may deliver it only after the delay.
    QtMessagePump pump;
    while (fired.empty() && MsSince(start) < kSafetyNetMs)
        pump.WaitForEvent(-1, 100);
    EXPECT_EQ(fired, std::vector<int>{a});
    port.SetTimerTrigger(a, 1, true);
    port.RemoveTrigger(a);
    port.DelayTicks(3, true);
    EXPECT_EQ(fired, std::vector<int>{a});
}

TEST(QtPlatformLink, ComponentTransportReadsTheBootVersionAndTimesOutWithoutSpinning) {
    // The simulated radio answers the boot-version read busy once, then 3.7.
    Scenario scenario;
    scenario.boot = {3, 7};
    scenario.bootBusy = 1;
    RadioSim radio(scenario);
    std::string error;
    ASSERT_TRUE(radio.Open(error)) << error;
    radio.Start();
    QtMessagePump pump;
    QtIntervalTimer timer;
    QtPortComponent port([&](int) { return radio.SlavePath(); });
    RadioLink link(pump, nullptr);
    link.AttachTimer(timer);
    port.SetRS485Mode(true);
    ASSERT_TRUE(link.OpenComponent(port, error)) << port.LastErrorText();
    link.SetFramed(true);
    link.SetEnabled(true);

    std::uint8_t boot[2] = {};
    EXPECT_EQ(link.ReadBootVersion(6, boot), LinkResult::kSuccess);
    EXPECT_EQ(radio.RequestCount(0x042D), 2);  // busy once, asked again
    EXPECT_EQ(boot[0], 3);
    EXPECT_EQ(boot[1], 7);

    // Silence: the 18-tick trigger ends the wait on the quiet line.
    ASSERT_TRUE(link.PrepareTimeout(1000));
    auto start = Clock::now();
    const double cpu0 = CpuMs();
    link.ReceiveAnyReply();
    EXPECT_EQ(link.Outcome(), LinkResult::kCommProblem);
    // Not before the trigger's second; later only by what the machine's load adds.
    EXPECT_GE(MsSince(start), 950);
    EXPECT_LT(MsSince(start), kSafetyNetMs);
    EXPECT_LT(CpuMs() - cpu0, 100);
    link.Close();
    EXPECT_FALSE(port.Open());
}

}  // namespace
