#include <gtest/gtest.h>

#include "LinkTestSupport.h"
#include "link/CommandTable.h"
#include "link/Frame.h"
#include "link/RadioLink.h"

using namespace linktest;

namespace {

const Bytes kFileFormat = {0x04, 0x1D, 5, 10};
const Bytes kDsp = {0x04, 0x0C, 1, 2, 3};
const Bytes kController = {0x04, 0x0A, 4, 1, 12};
const Bytes kHardware = {0x04, 0x08, 7, 8, 9};
const Bytes kSerial = {0x04, 0x05, 0x00, 0x01, 0xAB, 0x0C, 0xFF, 0x10, 0x9A, 0x5E};
const Bytes kBoot = {0x04, 0x2E, 1, 9};
const Bytes kSem = {0x04, 0x3F, 2, 3};
const Bytes kBusy = {0x04, 0x20};
const char kPortError[] = "Unable to start communication: COM port error";

Bytes RecordBytes(const VersionRecord& r) {
    return Bytes(r.bytes, r.bytes + VersionRecord::kSize);
}

// A link on a fake line with a scripted radio, on the virtual clock.
struct LinkBench : FakeLineLink {
    ScriptedRadio radio{pump, line};

    void OpenDevice() {
        std::string error = "x";
        ASSERT_TRUE(link.OpenDevice(3, 19200, false, error));
        EXPECT_EQ(error, "");
        link.SetFramed(true);
        link.SetEnabled(true);
    }
    void OpenComponent() {
        std::string error = "x";
        component.SetComNumber(3);
        component.SetRS485Mode(true);
        ASSERT_TRUE(link.OpenComponent(component, error));
        EXPECT_EQ(error, "");
        link.SetFramed(true);
        link.SetEnabled(true);
    }
    void IdentityRadio(std::uint8_t controllerMajor = 4) {
        Bytes controller = kController;
        controller[2] = controllerMajor;
        radio.On(0x04, 0x1C, {kFileFormat});
        radio.On(0x04, 0x0B, {kDsp});
        radio.On(0x04, 0x09, {controller});
        radio.On(0x04, 0x07, {kHardware});
        radio.On(0x04, 0x04, {kSerial});
        radio.On(0x04, 0x2D, {kBoot});
        radio.On(0x04, 0x3E, {kSem});
    }
    static MessageRecord Code(std::int32_t id) {
        MessageRecord r;
        MakeCommand(r, id);
        return r;
    }
    // Waits for the boot version reply; the busy reply is its alternate.
    MessageRecord AwaitBoot(bool& alt) {
        return link.AwaitReply(Code(kCmdBootVersion), 4, Code(kCmdInformationBusy), 2, alt);
    }
    MessageRecord AskBoot(bool& alt) {
        link.SendRecord(Code(kCmdReadBootVersion));
        return AwaitBoot(alt);
    }
    // Delivers the bytes one at a time, spacing ms apart, starting after startMs.
    void Trickle(const Bytes& bytes, double startMs, double spacingMs) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::uint8_t b = bytes[i];
            pump.AfterMs(startMs + spacingMs * static_cast<double>(i),
                         [this, b] { line.Deliver({b}); });
        }
    }
};

class LinkFixture : public ::testing::Test, public LinkBench {};

// ---------- Opening and closing ----------

TEST_F(LinkFixture, OpenDeviceOpensAtIndex14WithoutHandshakeAndCloseDestroysIt) {
    std::string error;
    ASSERT_TRUE(link.OpenDevice(7, 19200, false, error));
    EXPECT_EQ(line.portNumber, 7);
    EXPECT_EQ(line.baudIndex, 14);
    EXPECT_FALSE(line.handshake);
    EXPECT_FALSE(link.IsEnabled());
    EXPECT_FALSE(link.UsesComponent());
    EXPECT_EQ(line.devicesAlive, 1);
    link.Close();
    EXPECT_EQ(line.closeCalls, 1);
    EXPECT_EQ(line.devicesAlive, 0);
    link.Close();  // nothing left: nothing happens
    EXPECT_EQ(line.closeCalls, 1);
}

TEST_F(LinkFixture, OpenDeviceFailureKeepsDeviceUntilClose) {
    line.failOpen = true;
    std::string error;
    EXPECT_FALSE(link.OpenDevice(7, 19200, false, error));
    EXPECT_EQ(error, kPortError);
    EXPECT_EQ(line.devicesAlive, 1);
    link.Close();
    EXPECT_EQ(line.closeCalls, 0);  // never open: Close is not called
    EXPECT_EQ(line.devicesAlive, 0);
    // Without a device factory there is no device to open.
    RadioLink bare(pump, nullptr);
    error.clear();
    EXPECT_FALSE(bare.OpenDevice(1, 19200, false, error));
    EXPECT_EQ(error, kPortError);
}

TEST_F(LinkFixture, OpenComponentErrorTexts) {
    std::string error;
    component.openResult = PortComponent::kErrAlreadyOpen;
    EXPECT_FALSE(link.OpenComponent(component, error));
    EXPECT_EQ(error, "The chosen COM port is in use or not available");
    component.openResult = -5;
    EXPECT_FALSE(link.OpenComponent(component, error));
    EXPECT_EQ(error, kPortError);
    component.openResult = 0;
    line.rx = {1, 2, 3};
    EXPECT_TRUE(link.OpenComponent(component, error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(line.rx.empty());  // input flushed
    EXPECT_TRUE(link.UsesComponent());
    EXPECT_FALSE(link.IsEnabled());
}

// Closing waits for the output to drain, so the driver still sends the last frame, and gives up
// on (and throws away) an output buffer that never drains.
TEST_F(LinkFixture, CloseComponentWaitsForOutputThenReleasesTrigger) {
    for (bool drains : {true, false}) {
        SCOPED_TRACE(drains ? "drains at 30 ms" : "never drains");
        LinkBench b;
        b.OpenComponent();
        ASSERT_TRUE(b.link.PrepareTimeout(4000));
        const int handle = b.link.TimeoutHandle();
        b.component.outBuffUsed = 10;
        if (drains)
            b.pump.AfterMs(30, [&b] { b.component.outBuffUsed = 0; });
        const int flushes = b.component.outFlushes;
        b.link.Close();
        EXPECT_GE(b.pump.NowMs(), drains ? 30 : 0);
        EXPECT_LE(b.pump.NowMs(), 2100);
        EXPECT_EQ(b.component.outFlushes, drains ? flushes : flushes + 1);
        EXPECT_FALSE(b.component.Open());
        EXPECT_FALSE(b.component.TriggerArmed(handle));
        EXPECT_EQ(b.link.TimeoutHandle(), -1);
    }
}

// ---------- Timeouts ----------

TEST_F(LinkFixture, PrepareTimeoutConvertsMillisecondsToTicksOnTheComponent) {
    OpenComponent();
    const std::pair<int, int> table[] = {{4000, 72}, {15000, 270}, {1000, 18}};
    for (auto [ms, ticks] : table) {
        ASSERT_TRUE(link.PrepareTimeout(ms));
        EXPECT_EQ(link.TimeoutValue(), ticks);
    }
    EXPECT_EQ(component.triggersAdded, 3);
    EXPECT_EQ(component.triggersRemoved, 2);  // a second prepare releases the first trigger
    link.ReleaseTimeout();
    EXPECT_EQ(link.TimeoutHandle(), -1);
    component.failAddTrigger = true;
    EXPECT_FALSE(link.PrepareTimeout(4000));
}

TEST_F(LinkFixture, DeviceTimeoutGivesOutcome4AfterTheFullTimeAndLaterWaitsReturnAtOnce) {
    OpenDevice();
    EXPECT_TRUE(link.PrepareTimeout(4000));
    EXPECT_EQ(link.TimeoutValue(), 4000);  // the device's timeout is kept in milliseconds
    bool alt = true;
    AskBoot(alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kTimedOut);
    EXPECT_FALSE(alt);
    EXPECT_DOUBLE_EQ(pump.NowMs(), 4000);
    EXPECT_FALSE(timer.IsEnabled());
    // A waiting loop that does not poll blocks: a handful of pump calls for four seconds.
    EXPECT_LE(pump.waitCalls, 3);

    const double before = pump.NowMs();
    radio.On(0x04, 0x2D, {kBoot});
    AskBoot(alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kTimedOut);
    MessageRecord r;
    EXPECT_FALSE(link.Receive(r));
    link.ReceiveAnyReply();
    EXPECT_DOUBLE_EQ(pump.NowMs(), before);
    link.SetEnabled(true);
    MessageRecord reply = AskBoot(alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kSuccess);
    EXPECT_EQ(PayloadOf(reply), kBoot);
    link.ReleaseTimeout();  // no effect on the device transport
    EXPECT_EQ(link.TimeoutValue(), 4000);
}

TEST_F(LinkFixture, DeviceWithoutDescriptorIsPolledEveryTwoMilliseconds) {
    auto factory = std::make_unique<FakeDeviceFactory>(line);
    factory->descriptor = -1;
    RadioLink polled(pump, std::move(factory));
    polled.AttachTimer(timer);
    std::string error;
    ASSERT_TRUE(polled.OpenDevice(1, 19200, false, error));
    polled.SetFramed(true);
    polled.SetEnabled(true);
    polled.PrepareTimeout(100);
    polled.ReceiveAnyReply();
    EXPECT_EQ(polled.Outcome(), LinkResult::kTimedOut);
    EXPECT_NEAR(pump.waitCalls, 50, 2);
}

TEST_F(LinkFixture, EveryWaitGetsTheFullTimeout) {
    OpenDevice();
    link.PrepareTimeout(4000);
    // The reply comes 3.5 s after each request: two exchanges take 7 s and both succeed.
    radio.On(0x04, 0x2D, {kBoot}, 3500);
    bool alt = false;
    for (int i = 0; i < 2; ++i) {
        AskBoot(alt);
        EXPECT_EQ(link.Outcome(), LinkResult::kSuccess);
    }
    EXPECT_DOUBLE_EQ(pump.NowMs(), 7000);
}

TEST_F(LinkFixture, ComponentTimeoutOnAQuietLineGivesOutcome2) {
    OpenComponent();
    ASSERT_TRUE(link.PrepareTimeout(4000));
    bool alt = false;
    AwaitBoot(alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kCommProblem);
    EXPECT_FALSE(link.IsEnabled());
    EXPECT_NEAR(pump.NowMs(), 4000, 1);
    EXPECT_EQ(component.lastArmedTicks, 72);
}

TEST_F(LinkFixture, ComponentTriggerWhileBytesArriveIsIgnored) {
    OpenComponent();
    link.PrepareTimeout(1000);  // 18 ticks = 1 s
    // A burst of 500 noise bytes lands in the input buffer at 0.9 s; taking one byte per loop
    // at 1 ms a loop, the link is still busy with it when the trigger fires at 1 s. Then a
    // proper reply at 3 s.
    pump.processCostUs = 1000;
    pump.AfterMs(900, [this] { line.Deliver(Bytes(500, 0x55)); });
    Trickle(Wire(kBoot), 3000, 0);
    bool alt = false;
    MessageRecord reply = AwaitBoot(alt);
    EXPECT_EQ(component.triggersFired, 1);
    EXPECT_EQ(link.Outcome(), LinkResult::kSuccess);
    EXPECT_EQ(PayloadOf(reply), kBoot);
    EXPECT_NEAR(pump.NowMs(), 3000, 10);  // one loop per reply byte
}

TEST_F(LinkFixture, ComponentReceiveDoesNotSetIdleSoOnlyStopEndsIt) {
    OpenComponent();
    link.PrepareTimeout(1000);
    pump.AfterMs(5000, [this] { link.SetEnabled(false); });
    MessageRecord r;
    r.length = 99;
    EXPECT_FALSE(link.Receive(r));
    EXPECT_EQ(r.length, 99);
    EXPECT_EQ(component.triggersFired, 1);
    EXPECT_NEAR(pump.NowMs(), 5000, 1);
    EXPECT_EQ(link.Outcome(), LinkResult::kTimedOut);  // Receive never set idle
}

TEST_F(LinkFixture, ComponentReceiveTimesOutOnAQuietLineWhenAskedTo) {
    OpenComponent();
    link.SetQuietReceiveTimesOut(true);
    link.PrepareTimeout(1000);
    MessageRecord r;
    EXPECT_FALSE(link.Receive(r));
    EXPECT_NEAR(pump.NowMs(), 1000, 1);
    EXPECT_EQ(link.Outcome(), LinkResult::kCommProblem);
}

// A radio that answers busy without end: repeated only for the limit the owner set.
TEST_F(LinkFixture, ComponentBusyRepeatsEndAtTheirLimit) {
    OpenComponent();
    link.SetBusyRepeatLimitMs(3000);
    link.PrepareTimeout(4000);
    radio.On(0x04, 0x2D, {kBusy}, 100);
    bool gotBusy = false;
    link.ExchangeRepeatingBusy(Code(kCmdReadBootVersion), Code(kCmdBootVersion), 4,
                               Code(kCmdInformationBusy), 2, gotBusy);
    EXPECT_TRUE(gotBusy);
    EXPECT_EQ(link.Outcome(), LinkResult::kTimedOut);
    EXPECT_GE(pump.NowMs(), 3000);
    EXPECT_LE(pump.NowMs(), 3200);
    EXPECT_EQ(radio.requests.size(), 30u);  // one each 100 ms for 3 s
}

TEST_F(LinkFixture, ComponentReceiveEndsWhenThePortCloses) {
    OpenComponent();
    pump.AfterMs(50, [this] { component.SetOpen(false); });
    MessageRecord r;
    EXPECT_FALSE(link.Receive(r));
    EXPECT_TRUE(link.IsEnabled());
}

TEST_F(LinkFixture, StopOutcomeDependsOnTransportAndIdle) {
    // Device: 4, and the device transport is never idle.
    OpenDevice();
    pump.AfterMs(100, [this] {
        EXPECT_FALSE(link.IsIdle());
        link.SetEnabled(false);
    });
    link.ReceiveAnyReply();
    EXPECT_EQ(link.Outcome(), LinkResult::kTimedOut);
    EXPECT_FALSE(link.IsIdle());
    link.Close();

    // Component, line quiet when Stop is seen: 2.
    OpenComponent();
    pump.AfterMs(100, [this] { link.SetEnabled(false); });
    link.ReceiveAnyReply();
    EXPECT_EQ(link.Outcome(), LinkResult::kCommProblem);

    // Component, a byte waiting at the poll after Stop: 4.
    link.SetEnabled(true);
    Trickle(Bytes(20, 0x55), 1, 1);
    pump.AfterMs(10.5, [this] { link.SetEnabled(false); });
    pump.AfterMs(10.5, [this] { line.Deliver({0x55}); });
    link.ReceiveAnyReply();
    EXPECT_EQ(link.Outcome(), LinkResult::kTimedOut);
}

TEST_F(LinkFixture, TriggerHandlerClearsEnabledOnlyWhenIdleAndOnlyForItsTrigger) {
    OpenComponent();
    link.PrepareTimeout(4000);
    const int handle = link.TimeoutHandle();
    link.HandleTriggerTimer(handle);  // not idle (no wait yet): ignored
    EXPECT_TRUE(link.IsEnabled());
    pump.AfterMs(10, [&] {
        link.HandleTriggerTimer(handle + 100);  // someone else's trigger
        EXPECT_TRUE(link.IsEnabled());
        link.HandleTriggerTimer(handle);
    });
    link.ReceiveAnyReply();
    EXPECT_FALSE(link.IsEnabled());
    EXPECT_NEAR(pump.NowMs(), 10, 1);
}

// ---------- Matching replies ----------

TEST_F(LinkFixture, WrongLengthForeignAddressAndBadChecksumAreDropped) {
    OpenDevice();
    link.PrepareTimeout(4000);
    Bytes bad = Wire(kBoot);
    bad[bad.size() - 2] ^= 1;
    Trickle(Wire({0x04, 0x2E, 1}), 1, 0);     // expected code, short
    Trickle(Wire(kBoot, 0x7F, 0x01), 2, 0);   // not for the tool
    Trickle(bad, 3, 0);                       // bad checksum
    Trickle(Wire({0x04, 0x20, 0}), 4, 0);     // busy, wrong length
    Trickle(Wire({0x04, 0x2E, 2, 7}), 5, 0);  // the reply
    bool alt = true;
    MessageRecord reply = AwaitBoot(alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kSuccess);
    EXPECT_FALSE(alt);
    EXPECT_EQ(PayloadOf(reply), (Bytes{0x04, 0x2E, 2, 7}));
}

TEST_F(LinkFixture, AlternateCodeSetsGotAlternate) {
    OpenDevice();
    link.PrepareTimeout(4000);
    Trickle(Wire(kBusy), 1, 0);
    bool alt = false;
    AwaitBoot(alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kSuccess);
    EXPECT_TRUE(alt);
}

TEST_F(LinkFixture, OneByteCodeComparesOnlyTheFirstByte) {
    OpenDevice();
    MessageRecord oneByte;
    oneByte.buffer[0] = 0x04;
    oneByte.length = 1;
    Trickle(Wire({0x04, 0x99, 1}), 1, 0);
    bool alt = false;
    MessageRecord reply = link.AwaitReply(oneByte, 3, oneByte, 3, alt);
    EXPECT_EQ(link.Outcome(), LinkResult::kSuccess);
    EXPECT_EQ(reply.buffer[1], 0x99);
}

// ---------- Sending ----------

TEST_F(LinkFixture, SendFramesOrPassesRawBytes) {
    OpenDevice();
    EXPECT_EQ(link.SendCode2(0x04, 0x2D, nullptr, 0), 7);
    EXPECT_EQ(line.written, ToolFrame({0x04, 0x2D}));
    line.written.clear();
    const std::uint8_t data[] = {0x00};
    link.SendCode2(0x02, 0x00, data, 0);  // no data bytes: the data is not sent
    EXPECT_EQ(line.written, ToolFrame({0x02, 0x00}));
    line.written.clear();
    // A framed record's length counts only in its low eight bits.
    MessageRecord r;
    r.buffer[0] = 0x04;
    r.buffer[1] = 0x2D;
    r.length = 0x102;  // low byte 2
    link.SendRecord(r);
    EXPECT_EQ(line.written, ToolFrame({0x04, 0x2D}));
    line.written.clear();
    link.SetFramed(false);
    MessageRecord raw;
    raw.buffer[0] = 0xAA;
    raw.buffer[1] = 0xBA;
    raw.length = 2;
    link.Send(raw);
    EXPECT_EQ(line.written, (Bytes{0xAA, 0xBA}));
}

TEST_F(LinkFixture, ComponentSendWaitsForBufferSpaceAndForCtsInRs485Mode) {
    OpenComponent();
    component.outBuffFree = 3;
    component.cts = true;
    pump.AfterMs(20, [this] { component.outBuffFree = 4096; });
    pump.AfterMs(50, [this] { component.cts = false; });
    EXPECT_EQ(link.SendCode2(0x04, 0x2D, nullptr, 0), 1);
    EXPECT_NEAR(pump.NowMs(), 50, 1.5);
    EXPECT_EQ(line.written.size(), 7u);
}

TEST_F(LinkFixture, ComponentSendIsAbandonedOnStopWhileCtsHeld) {
    OpenComponent();
    component.cts = true;
    pump.AfterMs(20, [this] { link.SetEnabled(false); });
    EXPECT_EQ(link.SendCode2(0x04, 0x2D, nullptr, 0), -1);
    EXPECT_TRUE(line.written.empty());
}

TEST_F(LinkFixture, ChangeBaudOnDeviceSendsPausesAndFollows) {
    OpenDevice();
    link.ChangeBaud(115200);
    EXPECT_EQ(line.written, ToolFrame({0x09, 0x00, 0x05}));
    EXPECT_EQ(pump.pausedMs, 100);
    EXPECT_EQ(line.baudIndex, 19);
    line.written.clear();
    link.ChangeBaud(4800);  // not in the list: 19200
    EXPECT_EQ(line.written, ToolFrame({0x09, 0x00, 0x01}));
    EXPECT_EQ(line.baudIndex, 14);
}

TEST_F(LinkFixture, ChangeBaudOnComponentSetsTheRateWithoutPause) {
    OpenComponent();
    link.ChangeBaud(115200);
    EXPECT_EQ(component.Baud(), 115200);
    EXPECT_EQ(pump.pausedMs, 0);
}

// ---------- Interface box ----------

TEST_F(LinkFixture, ProbeFindsTheBoxOrTimesOutAfterOneSecond) {
    for (bool box : {true, false}) {
        SCOPED_TRACE(box ? "box" : "no box");
        LinkBench b;
        b.OpenDevice();
        b.link.PrepareTimeout(kProbeTimeoutMs);
        if (box)
            b.radio.On(0x09, 0x01, {{0x09, 0x02, 1, 2, 3, 4}});
        EXPECT_EQ(b.link.ProbeInterfaceBox(), box);
        EXPECT_EQ(Bytes(b.line.written.begin(), b.line.written.begin() + 7),
                  ToolFrame({0x09, 0x01}, frame::kAddrBox));
        EXPECT_EQ(b.radio.dests.at(0), frame::kAddrBox);
        EXPECT_TRUE(b.link.IsFramed());
        if (!box) {
            EXPECT_DOUBLE_EQ(b.pump.NowMs(), 1000);
        }
    }
}

// ---------- Version record and boot version ----------

TEST_F(LinkFixture, RetrieveVersionRecordFillsAllFieldsWithSem) {
    OpenDevice();
    IdentityRadio(4);
    VersionRecord rec;
    EXPECT_EQ(link.RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(RecordBytes(rec), (Bytes{5,    10,   1,    2,    3,    4,    1,    12, 7, 8, 9, 0x00,
                                       0x01, 0xAB, 0x0C, 0xFF, 0x10, 0x9A, 0x5E, 1,  9, 2, 3}));
    ASSERT_EQ(radio.requests.size(), 7u);
    EXPECT_EQ(radio.requests.back(), (Bytes{0x04, 0x3E}));
}

TEST_F(LinkFixture, SemStepAppliesOnlyForSomeKindsAndControllers) {
    struct Case {
        TargetKind kind;
        std::uint8_t controller;
        bool withSem;
        bool semAsked;
    };
    const Case cases[] = {{6, 4, true, true},  {6, 3, true, false}, {2, 4, true, false},
                          {3, 2, true, false}, {0, 2, true, true},  {8, 6, true, true},
                          {6, 4, false, false}};
    for (const Case& c : cases) {
        LinkBench b;
        b.IdentityRadio(c.controller);
        b.OpenDevice();
        VersionRecord rec;
        EXPECT_EQ(b.link.RetrieveVersionRecord(c.kind, rec, c.withSem), LinkResult::kSuccess);
        EXPECT_EQ(b.radio.requests.size(), c.semAsked ? 7u : 6u)
            << int(c.kind) << " " << int(c.controller);
        EXPECT_EQ(rec.bytes[VersionRecord::kSemOffset], c.semAsked ? 2 : 0);
    }
}

// One step of the identity radio answered otherwise.
TEST_F(LinkFixture, VersionReadWithOneStepAnsweredOtherwise) {
    struct Case {
        const char* name;
        std::uint8_t code;
        std::vector<Bytes> replies;
        LinkResult result;
        std::size_t requests;
    };
    const Case cases[] = {
        // The SEM read takes any frame; a short one leaves zeros.
        {"SEM: short frame of another code", 0x3E, {{0x07, 0x25}}, LinkResult::kSuccess, 7},
        {"SEM: silent", 0x3E, {}, LinkResult::kSemFailed, 7},
        // The read stops at the first identity step that fails.
        {"hardware: silent", 0x07, {}, LinkResult::kTimedOut, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkBench b;
        b.OpenDevice();
        b.IdentityRadio(4);
        b.radio.On(0x04, c.code, c.replies);
        VersionRecord rec;
        rec.bytes[VersionRecord::kSemOffset] = 0xEE;
        EXPECT_EQ(b.link.RetrieveVersionRecord(6, rec, true), c.result);
        EXPECT_EQ(b.radio.requests.size(), c.requests);
        if (c.result == LinkResult::kSuccess) {
            EXPECT_EQ(rec.bytes[VersionRecord::kSemOffset], 0);
            EXPECT_EQ(rec.bytes[VersionRecord::kSemOffset + 1], 0);
        }
    }
}

TEST_F(LinkFixture, Kind5BootStepTimeoutKeepsIdentityAndGives5OrThen8) {
    for (std::uint8_t controller : {1, 2}) {
        LinkBench b;
        b.IdentityRadio(controller);
        b.radio.On(0x04, 0x2D, {});  // the boot step times out
        // The SEM step would be answered, but its wait ends at once.
        b.OpenDevice();
        VersionRecord rec;
        std::fill(rec.bytes, rec.bytes + VersionRecord::kSize, 0xEE);
        LinkResult result = b.link.RetrieveVersionRecord(5, rec, true);
        EXPECT_EQ(result, controller == 2 ? LinkResult::kSemFailed : LinkResult::kNoBootInfo);
        Bytes expected = {5,    10,   1,    2,    3,    controller, 1,    12, 7, 8, 9, 0x00,
                          0x01, 0xAB, 0x0C, 0xFF, 0x10, 0x9A,       0x5E, 0,  0, 0, 0};
        EXPECT_EQ(RecordBytes(rec), expected);
        EXPECT_NEAR(b.pump.NowMs(), 4000, 50);  // only the boot step waited its full time
    }
}

TEST_F(LinkFixture, BusyVersionStepIsAskedAgainThenStoresZeros) {
    OpenDevice();
    IdentityRadio(4);
    radio.On(0x04, 0x0B, {kBusy, kBusy, kDsp});  // busy twice, then the answer
    VersionRecord rec;
    EXPECT_EQ(link.RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(rec.bytes[VersionRecord::kDspOffset], 1);
    EXPECT_EQ(rec.bytes[VersionRecord::kDspOffset + 2], 3);

    // Busy for good: after the repeats the field holds zeros and the read goes on.
    radio.On(0x04, 0x0B, {kBusy});
    radio.requests.clear();
    EXPECT_EQ(link.RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(rec.bytes[VersionRecord::kDspOffset], 0);
    EXPECT_EQ(rec.bytes[VersionRecord::kDspOffset + 2], 0);
    EXPECT_EQ(rec.bytes[VersionRecord::kControllerOffset], 4);
    EXPECT_EQ(radio.requests.size(), 7u + RadioLink::kVersionBusyRepeats);
}

// On the component the reads prepare a trigger of their own and release it; without one they
// ask nothing.
TEST_F(LinkFixture, RetrieveOnComponentReleasesItsTriggerAndGives2WithoutOne) {
    OpenComponent();
    IdentityRadio(4);
    VersionRecord rec;
    EXPECT_EQ(link.RetrieveVersionRecord(6, rec, true), LinkResult::kSuccess);
    EXPECT_EQ(link.TimeoutHandle(), -1);
    EXPECT_EQ(component.triggersAdded, component.triggersRemoved);

    radio.requests.clear();
    component.failAddTrigger = true;
    EXPECT_EQ(link.RetrieveVersionRecord(6, rec, true), LinkResult::kCommProblem);
    std::uint8_t boot[2];
    EXPECT_EQ(link.ReadBootVersion(6, boot), LinkResult::kCommProblem);
    EXPECT_TRUE(radio.requests.empty());
}

TEST_F(LinkFixture, ReadBootVersionResults) {
    OpenDevice();
    radio.On(0x04, 0x2D, {kBoot});
    std::uint8_t boot[2] = {0xEE, 0xEE};
    EXPECT_EQ(link.ReadBootVersion(6, boot), LinkResult::kSuccess);
    EXPECT_EQ(boot[0], 1);
    EXPECT_EQ(boot[1], 9);

    radio.On(0x04, 0x2D, {});
    for (TargetKind kind : {1, 5, 7, 8}) {
        link.SetEnabled(true);
        boot[0] = boot[1] = 0xEE;
        EXPECT_EQ(link.ReadBootVersion(kind, boot), LinkResult::kNoBootInfo) << int(kind);
        EXPECT_EQ(boot[0], 0);
        EXPECT_EQ(boot[1], 0);
    }
    for (TargetKind kind : {0, 2, 3, 4, 6}) {
        link.SetEnabled(true);
        EXPECT_EQ(link.ReadBootVersion(kind, boot), LinkResult::kTimedOut) << int(kind);
    }
}

TEST_F(LinkFixture, BusyBootReplyOnTheDeviceEndsTheExchangeWithoutAVersion) {
    OpenDevice();
    radio.On(0x04, 0x2D, {kBusy, kBoot});
    std::uint8_t boot[2] = {0xEE, 0xEE};
    EXPECT_EQ(link.ReadBootVersion(6, boot), LinkResult::kCommProblem);
    EXPECT_EQ(radio.requests.size(), 1u);
    EXPECT_EQ(link.ReadBootVersion(5, boot), LinkResult::kSuccess);  // second request: the version
    radio.On(0x04, 0x2D, {kBusy});
    EXPECT_EQ(link.ReadBootVersion(5, boot), LinkResult::kNoBootInfo);
    EXPECT_EQ(boot[0], 0);
}

TEST_F(LinkFixture, BusyBootReplyOnTheComponentIsRepeatedUntilTheVersionComes) {
    OpenComponent();
    radio.On(0x04, 0x2D, {kBusy, kBusy, kBusy, kBoot});
    std::uint8_t boot[2] = {0, 0};
    EXPECT_EQ(link.ReadBootVersion(6, boot), LinkResult::kSuccess);
    EXPECT_EQ(radio.requests.size(), 4u);
    EXPECT_EQ(boot[0], 1);
    EXPECT_EQ(boot[1], 9);
}

TEST_F(LinkFixture, BusyRepeatsEndOnStop) {
    OpenComponent();
    radio.On(0x04, 0x2D, {kBusy});
    pump.AfterMs(200, [this] { link.SetEnabled(false); });
    std::uint8_t boot[2];
    LinkResult r = link.ReadBootVersion(6, boot);
    EXPECT_TRUE(r == LinkResult::kTimedOut || r == LinkResult::kCommProblem) << ToInt(r);
    EXPECT_GT(radio.requests.size(), 5u);
    EXPECT_NEAR(pump.NowMs(), 200, 10);
}

// The trace sees both directions; the password digits go to the radio as they are, and never
// into a trace.
TEST_F(LinkFixture, TraceSeesBothDirectionsAndMasksThePasswordDigits) {
    OpenDevice();
    std::vector<char> dirs;
    std::vector<Bytes> traced;
    link.SetTraceSink([&](char d, const std::uint8_t* bytes, int count, std::int64_t) {
        dirs.push_back(d);
        traced.emplace_back(bytes, bytes + count);
    });
    const std::uint8_t digits[] = {0x12, 0x34, 0x56, 0x78};
    ASSERT_GT(link.SendCode2(0x03, 0x0C, digits, 4), 0);
    ASSERT_EQ(radio.requests.size(), 1u);
    EXPECT_EQ(radio.requests[0], (Bytes{0x03, 0x0C, 0x12, 0x34, 0x56, 0x78}));
    ASSERT_EQ(traced.size(), 1u);
    EXPECT_EQ(traced[0], ToolFrame({0x03, 0x0C, 0xFF, 0xFF, 0xFF, 0xFF}));

    radio.On(0x04, 0x2D, {kBoot});
    std::uint8_t boot[2];
    link.ReadBootVersion(6, boot);
    EXPECT_EQ(dirs, (std::vector<char>{'W', 'W', 'R'}));
}

}  // namespace
