// The link, on the Qt platform, against the simulated radio over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "AwaitRadio.h"
#include "SimLinkFixture.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "link/RadioLink.h"

namespace {

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A wait that ends on its timeout lasts the whole of it (a timer never fires early); a loaded
// machine only makes it longer, so the upper bound is just a net against a wait without end.
void ExpectTimedOutAfter(double waitedMs, double timeoutMs) {
    EXPECT_GE(waitedMs, timeoutMs * 0.95);
    EXPECT_LT(waitedMs, timeoutMs + 30000);
}

using SimFixture = simtest::SimLinkFixture;

// The same exchange on the program's serial device and on the port component.
class EitherTransport : public SimFixture, public ::testing::WithParamInterface<bool> {
  protected:
    void Open() { GetParam() ? OpenSimComponent() : OpenSimDevice(); }
};

TEST_P(EitherTransport, VersionRecord) {
    Open();
    VersionRecord rec;
    EXPECT_EQ(link->RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(
        std::vector<std::uint8_t>(rec.bytes, rec.bytes + VersionRecord::kSize),
        (std::vector<std::uint8_t>{5,    10,   1,    2,    3,    4,    1,    12, 7, 8, 9, 0x00,
                                   0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 1,  9, 2, 3}));
    EXPECT_EQ(version_text::SerialNumber(rec), "00-01-23-45-67-89-AB-CD");
    EXPECT_TRUE(sim->Violations().empty());
}

TEST_P(EitherTransport, ChangeBaudSwitchesBothSides) {
    Open();
    link->ChangeBaud(115200);
    VersionRecord rec;
    EXPECT_EQ(link->RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    auto report = sim->Report();
    ASSERT_EQ(report["rateChanges"].size(), 1u);
    EXPECT_EQ(report["rateChanges"][0]["rate"], 115200);
    EXPECT_EQ(report["rateChanges"][0]["toolFollowed"], true);
    EXPECT_EQ(report["radioBaud"], 115200);
    EXPECT_EQ(report["lineBaud"], 115200);
    EXPECT_TRUE(sim->Violations().empty());
}

// A busy reply to the boot query is asked again on the component (three times here); on the
// device it ends the exchange, and the next query is answered.
TEST_P(EitherTransport, BusyBootReply) {
    scenario.bootBusy = GetParam() ? 3 : 1;
    Open();
    std::uint8_t boot[2] = {};
    if (!GetParam()) {
        EXPECT_EQ(link->ReadBootVersion(6, boot), LinkResult::kCommProblem);
        EXPECT_EQ(sim->RequestCount(0x042D), 1);
    }
    EXPECT_EQ(link->ReadBootVersion(6, boot), LinkResult::kSuccess);
    EXPECT_EQ(boot[0], 1);
    EXPECT_EQ(boot[1], 9);
    EXPECT_EQ(sim->RequestCount(0x042D), GetParam() ? 4 : 2);
}

INSTANTIATE_TEST_SUITE_P(Transports, EitherTransport, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Component" : "Device"; });

TEST_F(SimFixture, AbsentBootVersionGives5ForKind8) {
    scenario.boot = {};
    scenario.bootPresent = false;
    OpenSimDevice();
    std::uint8_t boot[2] = {9, 9};
    EXPECT_EQ(link->ReadBootVersion(8, boot), LinkResult::kNoBootInfo);
    EXPECT_EQ(boot[0], 0);
}

TEST_F(SimFixture, Kind5VersionReadWhoseBootStepTimesOut) {
    scenario.bootPresent = false;
    scenario.controller = {1, 0, 0};  // no SEM step
    OpenSimDevice();
    VersionRecord rec;
    auto start = Clock::now();
    EXPECT_EQ(link->RetrieveVersionRecord(5, rec, true), LinkResult::kNoBootInfo);
    ExpectTimedOutAfter(MsSince(start), kReplyTimeoutMs);
    EXPECT_EQ(rec.bytes[11], 0x00);
    EXPECT_EQ(rec.bytes[18], 0xCD);
    EXPECT_EQ(rec.bytes[19], 0);
    EXPECT_EQ(rec.bytes[22], 0);
    EXPECT_EQ(sim->RequestCount(0x043E), 0);
}

TEST_F(SimFixture, FramesAtTheWrongSpeedAreNoise) {
    OpenSimDevice();
    link->SetLocalBaud(115200);  // the radio was never told
    std::uint8_t boot[2];
    EXPECT_EQ(link->ReadBootVersion(6, boot), LinkResult::kTimedOut);
    EXPECT_TRUE(simtest::AwaitRadio(*sim, pump,
                                    [this] { return sim->Report()["noiseBytes"].get<int>() > 0; }));
    EXPECT_EQ(sim->RequestCount(0x042D), 0);
    ASSERT_FALSE(sim->Violations().empty());
}

TEST_F(SimFixture, InterfaceBoxProbe) {
    scenario.interfaceBox = true;
    OpenSimDevice();
    link->PrepareTimeout(kProbeTimeoutMs);
    EXPECT_TRUE(link->ProbeInterfaceBox());
    EXPECT_TRUE(sim->Violations().empty());
}

TEST_F(SimFixture, NoInterfaceBoxAndTheWaitDoesNotSpin) {
    OpenSimDevice();
    link->PrepareTimeout(kProbeTimeoutMs);
    auto start = Clock::now();
    const std::clock_t cpu = std::clock();
    EXPECT_FALSE(link->ProbeInterfaceBox());
    ExpectTimedOutAfter(MsSince(start), kProbeTimeoutMs);
    // Blocked on the device's descriptor and the timer, not polling.
    EXPECT_LT(1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC, 100);
}

TEST_F(SimFixture, RadioThatStopsAnsweringTimesOutWithOutcome4) {
    scenario.silentFrom = 0x0407;
    OpenSimDevice();
    VersionRecord rec;
    auto start = Clock::now();
    EXPECT_EQ(link->RetrieveVersionRecord(6, rec, true), LinkResult::kTimedOut);
    ExpectTimedOutAfter(MsSince(start), kReplyTimeoutMs);
    EXPECT_EQ(sim->RequestCount(0x0404), 0);
}

TEST_F(SimFixture, FaultyFramesAreDroppedAndTheProperReplyTaken) {
    scenario.faults = {{0x041C, Scenario::Fault::Kind::kBadChecksum, 1, true},
                       {0x040B, Scenario::Fault::Kind::kGarbled, 1, true},
                       {0x0409, Scenario::Fault::Kind::kWrongAddress, 1, true}};
    scenario.busy = {{0x0407, 1}};
    OpenSimDevice();
    VersionRecord rec;
    EXPECT_EQ(link->RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(rec.bytes[0], 5);
    EXPECT_EQ(rec.bytes[2], 1);
    EXPECT_EQ(rec.bytes[5], 4);
    EXPECT_EQ(rec.bytes[8], 7);  // busy once, asked again
    EXPECT_EQ(sim->RequestCount(0x0407), 2);
}

TEST_F(SimFixture, UnpromptedFrameIsTakenBySemRead) {
    scenario.unprompted0725 = {0x043E};
    OpenSimDevice();
    VersionRecord rec;
    EXPECT_EQ(link->RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(rec.bytes[21], 0);  // the SEM read took the 07 25 frame
}

}  // namespace
