// The low-level port's rules against the recording system layer.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "FakeSerialOs.h"
#include "serial/ZKWWinExtSerialPort.h"

namespace {

using serial::LineSettings;

class PortRules : public ::testing::Test {
  protected:
    void OpenPort() {
        ASSERT_TRUE(port.Open());
        os.Forget();
    }

    FakeSerialOs os;
    ZKWWinExtSerialPort port{os};
};

TEST_F(PortRules, SetBaudStoresTheNormalisedIndexWhileClosed) {
    const int stored[] = {2,  2,  2,  2,  2,  2,  6,  7,  8,  8,  10,
                          11, 12, 13, 14, 15, 16, 17, 17, 19, 20, 21};
    for (int i = 0; i < 22; ++i) {
        EXPECT_EQ(port.SetBaud(i), 0) << i;
        EXPECT_EQ(port.Baud(), stored[i]) << i;
    }
    port.SetBaud(25);
    EXPECT_EQ(port.Baud(), 25);
    EXPECT_TRUE(os.calls.empty());
}

TEST_F(PortRules, SetBaudOnAnOpenPortStoresTheNormalisedIndexAndWritesTheRate) {
    struct Case {
        int index, stored;
        std::uint32_t rate;  // on the line afterwards
    };
    OpenPort();
    port.SetBaud(19);
    // 25 is past the table: stored as it is, the rate stays, and the settings are still written.
    for (const Case& c : {Case{9, 8, 1200}, Case{18, 17, 57600}, Case{3, 2, 110},
                          Case{19, 19, 115200}, Case{25, 25, 115200}}) {
        os.Forget();
        EXPECT_EQ(port.SetBaud(c.index), 1) << c.index;
        EXPECT_EQ(port.Baud(), c.stored) << c.index;
        ASSERT_EQ(os.Names(), std::vector<std::string>{"SetConfig"}) << c.index;
        EXPECT_EQ(os.Last("SetConfig")->settings.baudRate, c.rate) << c.index;
    }
}

// Five data bits refuse two stop bits, six to eight refuse 1.5; codes past the tables are
// stored without a write. Every call starts from a freshly opened port holding data/stop.
TEST(PortFormatRules, CharacterFormatRulesOnAnOpenPort) {
    struct Case {
        const char* name;
        int data, stop;  // the stored codes before the call
        bool setStop;    // SetStopBits(value), else SetDataBits(value)
        int value, result, storedData, storedStop;
        uint8_t byteSize, lineStop;  // on the line afterwards
    };
    const uint8_t one = serial::kOneStopBit, one5 = serial::kOne5StopBits,
                  two = serial::kTwoStopBits;
    const Case cases[] = {
        {"1.5 stop bits with 8 data bits", 3, 0, true, 1, 0, 3, 0, 8, one},
        {"5 data bits with 1 stop bit", 3, 0, false, 0, 1, 0, 0, 5, one},
        {"1.5 stop bits with 5 data bits", 0, 0, true, 1, 1, 0, 1, 5, one5},
        {"2 stop bits with 5 data bits", 0, 1, true, 2, 0, 0, 1, 5, one5},
        {"2 stop bits with 5 data bits and 1 stop bit", 0, 0, true, 2, 0, 0, 0, 5, one},
        {"6 data bits with 1.5 stop bits", 0, 1, false, 1, 0, 0, 1, 5, one5},
        {"7 data bits with 1.5 stop bits", 0, 1, false, 2, 0, 0, 1, 5, one5},
        {"8 data bits with 1.5 stop bits", 0, 1, false, 3, 0, 0, 1, 5, one5},
        {"5 data bits with 2 stop bits", 3, 2, false, 0, 0, 3, 2, 8, two},
        {"6 data bits with 2 stop bits", 3, 2, false, 1, 1, 1, 2, 6, two},
        {"7 data bits with 2 stop bits", 3, 2, false, 2, 1, 2, 2, 7, two},
        {"data bits code 4", 3, 0, false, 4, 0, 4, 0, 8, one},
        {"stop bits code 3", 3, 0, true, 3, 0, 3, 3, 8, one},
        {"1 stop bit after code 3", 3, 3, true, 0, 1, 3, 0, 8, one},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSerialOs os;
        ZKWWinExtSerialPort port(os);
        ASSERT_TRUE(port.Open());
        port.SetDataBits(c.data);
        port.SetStopBits(c.stop);
        os.Forget();
        EXPECT_EQ(c.setStop ? port.SetStopBits(c.value) : port.SetDataBits(c.value), c.result);
        EXPECT_EQ(port.DataBits(), c.storedData);
        EXPECT_EQ(port.StopBits(), c.storedStop);
        EXPECT_EQ(os.Count("SetConfig"), c.result == 1 ? 1 : 0);
        EXPECT_EQ(os.device.byteSize, c.byteSize);
        EXPECT_EQ(os.device.stopBits, c.lineStop);
    }
}

TEST_F(PortRules, ParitySetsTheCheckFlag) {
    OpenPort();
    port.SetParity(2);
    EXPECT_EQ(port.Parity(), 2);
    EXPECT_EQ(os.device.parity, serial::kEvenParity);
    EXPECT_TRUE(os.device.parityCheck);
    port.SetParity(0);
    EXPECT_FALSE(os.device.parityCheck);
    port.SetParity(4);
    EXPECT_TRUE(os.device.parityCheck);
    os.Forget();
    // An unknown code goes to the line as it is and leaves the check flag alone.
    port.SetParity(7);
    EXPECT_EQ(port.Parity(), 7);
    ASSERT_EQ(os.Count("SetConfig"), 1);
    EXPECT_EQ(os.Last("SetConfig")->settings.parity, 7);
    EXPECT_TRUE(os.Last("SetConfig")->settings.parityCheck);
}

TEST_F(PortRules, FlowControlModes) {
    struct Case {
        int mode;
        bool cts;
        uint8_t rts;
        bool xonXoff;
    };
    OpenPort();
    for (const Case& c : {Case{1, true, serial::kRtsControlHandshake, false},
                          Case{2, false, serial::kRtsControlDisable, true},
                          Case{3, true, serial::kRtsControlToggle, false},
                          Case{0, false, serial::kRtsControlDisable, false}}) {
        SCOPED_TRACE(c.mode);
        port.SetFlowControl(c.mode);
        EXPECT_EQ(port.FlowControl(), c.mode);
        EXPECT_EQ(os.device.outxCtsFlow, c.cts);
        EXPECT_EQ(os.device.rtsControl, c.rts);
        EXPECT_EQ(os.device.outX, c.xonXoff);
        EXPECT_EQ(os.device.inX, c.xonXoff);
    }
    // A mode outside the table is stored and changes nothing.
    port.SetFlowControl(2);
    const LineSettings before = os.device;
    EXPECT_EQ(port.SetFlowControl(5), 1);
    EXPECT_EQ(port.FlowControl(), 5);
    EXPECT_EQ(os.device, before);
}

TEST_F(PortRules, FlowMode3YieldsToggleFromAnyRtsControl) {
    for (uint8_t rts = 0; rts < 4; ++rts) {
        FakeSerialOs fake;
        fake.device.rtsControl = rts;
        ZKWWinExtSerialPort p(fake);
        p.SetFlowControl(3);
        ASSERT_TRUE(p.Open());
        EXPECT_EQ(fake.device.rtsControl, serial::kRtsControlToggle) << int(rts);
    }
}

TEST_F(PortRules, SetTimeoutsAddsSecondsAndMilliseconds) {
    OpenPort();
    EXPECT_EQ(port.SetTimeouts(2, 0), 1);
    ASSERT_EQ(os.Names(), std::vector<std::string>{"SetTimeouts"});
    EXPECT_EQ(os.Last("SetTimeouts")->timeouts, IntervalTimeouts(2000));
    EXPECT_EQ(port.CommTimeouts(), IntervalTimeouts(2000));
    port.SetTimeouts(1, 250);
    EXPECT_EQ(os.Last("SetTimeouts")->timeouts, IntervalTimeouts(1250));
}

TEST_F(PortRules, SettersWhileClosedOnlyStore) {
    EXPECT_EQ(port.SetStopBits(1), 0);  // refused: 8 data bits
    EXPECT_EQ(port.StopBits(), 0);
    port.SetDataBits(0);
    port.SetStopBits(1);
    EXPECT_EQ(port.DataBits(), 0);
    EXPECT_EQ(port.StopBits(), 1);
    port.SetTimeouts(3, 7);
    port.SetParity(1);
    port.SetFlowControl(1);
    EXPECT_TRUE(os.calls.empty());
    // The next Open applies them.
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(os.Last("SetTimeouts")->timeouts.readInterval, 3007u);
    EXPECT_EQ(os.device.parity, serial::kOddParity);
    EXPECT_EQ(os.device.rtsControl, serial::kRtsControlHandshake);
    EXPECT_EQ(os.device.byteSize, 5);
    EXPECT_EQ(os.device.stopBits, serial::kOne5StopBits);
}

TEST_F(PortRules, OpenReappliesTheSettingsInOrderThenWritesOnceMore) {
    os.device.baudRate = 4800;
    os.device.byteSize = 7;
    os.device.outX = os.device.inX = true;
    os.device.abortOnError = true;
    os.device.nullStrip = true;
    os.device.binary = false;
    port.SetPortName("\\\\.\\COM4");
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(os.openedName, "\\\\.\\COM4");
    EXPECT_EQ(port.Handle(), 7);
    // Baud, data bits, stop bits, parity, flow control, time-outs, the final write.
    const std::vector<std::string> expected = {"Open",      "GetConfig",   "SetConfig",
                                               "SetConfig", "SetConfig",   "SetConfig",
                                               "SetConfig", "SetTimeouts", "SetConfig"};
    EXPECT_EQ(os.Names(), expected);
    EXPECT_EQ(os.calls[2].settings.baudRate, 19200u);
    EXPECT_EQ(os.calls[2].settings.byteSize, 7);  // the data bits come next
    EXPECT_EQ(os.calls[3].settings.byteSize, 8);
    const LineSettings& final = os.calls.back().settings;
    EXPECT_EQ(final.baudRate, 19200u);
    EXPECT_EQ(final.byteSize, 8);
    EXPECT_EQ(final.parity, serial::kNoParity);
    EXPECT_EQ(final.stopBits, serial::kOneStopBit);
    EXPECT_TRUE(final.binary);
    EXPECT_FALSE(final.outX || final.inX || final.abortOnError || final.nullStrip);
    EXPECT_EQ(final.rtsControl, serial::kRtsControlDisable);
    EXPECT_EQ(os.Last("SetTimeouts")->timeouts.readInterval, 500u);
    // Open on an open port opens nothing.
    os.Forget();
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(os.calls.empty());
}

TEST_F(PortRules, FailedOpenKeepsTheReasonAndConfiguresNothing) {
    os.openFails = true;
    os.failure.kind = serial::FailureKind::kBusy;
    os.failure.osError = EBUSY;
    os.failure.node = "/dev/ttyUSB0";
    os.failure.holderPid = 4321;
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Handle(), serial::kInvalidHandle);
    EXPECT_EQ(os.Names(), std::vector<std::string>{"Open"});
    EXPECT_EQ(port.LastOpenFailure().kind, serial::FailureKind::kBusy);
    EXPECT_EQ(port.OsError(), EBUSY);
    EXPECT_EQ(port.FailureText(), "busy: /dev/ttyUSB0 is in use by another program (PID 4321)");
    // A successful open clears it.
    os.openFails = false;
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.LastOpenFailure().kind, serial::FailureKind::kNone);
}

TEST_F(PortRules, CloseKeepsTheHandleValueAndTheSettings) {
    // A never opened port closes the invalid handle.
    EXPECT_EQ(port.Close(), -1);
    ASSERT_EQ(os.Names(), std::vector<std::string>{"Close"});
    EXPECT_EQ(os.calls[0].handle, serial::kInvalidHandle);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OsError(), EBADF);
    port.SetBaud(19);
    OpenPort();
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Handle(), 7);
    EXPECT_EQ(port.Baud(), 19);
    // A second Close hands the old value to the system layer, which refuses it.
    EXPECT_EQ(port.Close(), -1);
    EXPECT_EQ(os.Count("Close"), 2);
}

TEST_F(PortRules, DestructorClosesOnlyAnOpenPort) {
    FakeSerialOs fake;
    { ZKWWinExtSerialPort p(fake); }
    EXPECT_TRUE(fake.calls.empty());
    {
        ZKWWinExtSerialPort p(fake);
        ASSERT_TRUE(p.Open());
        fake.Forget();
    }
    EXPECT_EQ(fake.Names(), std::vector<std::string>{"Close"});
}

TEST_F(PortRules, SetDefaultsRestoresTheDefaultsAndClearsOpened) {
    port.SetBaud(19);
    port.SetParity(2);
    port.SetTimeouts(9, 9);
    port.SetDefaults();
    EXPECT_EQ(port.Baud(), 14);
    EXPECT_EQ(port.Parity(), 0);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PortRules, QueuedInputAndLineErrors) {
    EXPECT_EQ(port.BytesAvailable(), 0);  // closed
    EXPECT_TRUE(os.calls.empty());
    EXPECT_EQ(port.InputQueued(), 0);  // invalid handle: the query fails
    EXPECT_FALSE(port.HasInput());
    OpenPort();
    os.input = "abc";
    EXPECT_EQ(port.BytesAvailable(), 3);
    EXPECT_EQ(port.LastError(), 0);
    EXPECT_EQ(port.InputQueued(), 3);
    EXPECT_TRUE(port.HasInput());
    // A line error on a successful query is translated and cleared at once.
    os.input.clear();
    os.lineErrors = serial::kCeFrame;
    EXPECT_EQ(port.BytesAvailable(), 0);
    EXPECT_EQ(port.LastError(), 0);
    os.lineErrors = serial::kCeOverrun;
    os.clearErrorFails = true;
    EXPECT_EQ(port.BytesAvailable(), -1);
    EXPECT_EQ(port.LastError(), ZKWWinExtSerialBase::kErrorOverrun);
    EXPECT_EQ(port.OsError(), EIO);
}

struct LineErrorCase {
    uint32_t flags;
    int code;
};

TEST_F(PortRules, TranslateLineErrorsFirstMatchWins) {
    const LineErrorCase cases[] = {
        {serial::kCeBreak | serial::kCeFrame | serial::kCeTxFull, 6},
        {serial::kCeFrame | serial::kCeIoe, 7},
        {serial::kCeIoe | serial::kCeMode, 8},
        {serial::kCeMode | serial::kCeOverrun, 1},
        {serial::kCeOverrun | serial::kCeRxParity, 9},
        {serial::kCeRxParity | serial::kCeRxOver, 11},
        {serial::kCeRxOver | serial::kCeTxFull, 10},
        {serial::kCeTxFull, 12},
    };
    for (const LineErrorCase& c : cases) {
        port.TranslateLineErrors(c.flags);
        EXPECT_EQ(port.LastError(), c.code) << std::hex << c.flags;
    }
    port.TranslateLineErrors(0x2000);  // no known flag
    EXPECT_EQ(port.LastError(), 12);
    port.TranslateLineErrors(0);
    EXPECT_EQ(port.LastError(), 12);
}

TEST_F(PortRules, ReadOnAClosedPortOrAnEmptyQueueReturnsAtOnceWithoutReading) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(port.Read(buffer, 4), 0);
    EXPECT_TRUE(os.calls.empty());
    OpenPort();
    port.TranslateLineErrors(serial::kCeBreak);
    EXPECT_EQ(port.Read(buffer, 4), 0);
    EXPECT_EQ(os.Names(), std::vector<std::string>{"ClearError"});
    EXPECT_EQ(port.LastError(), 6);
    EXPECT_EQ(buffer[0], 'x');
}

TEST_F(PortRules, ReadReturnsWhatWasQueuedUpToCount) {
    OpenPort();
    os.input = "hello";
    char buffer[8] = {};
    EXPECT_EQ(port.Read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "hel");
    EXPECT_EQ(port.Read(buffer, 8), 2);
    EXPECT_EQ(std::string(buffer, 2), "lo");
    EXPECT_EQ(os.Last("Read")->count, 8u);
}

TEST_F(PortRules, ReadFailureOrNothingAlthoughBytesWereQueuedSetsCode13) {
    for (bool fails : {true, false}) {
        FakeSerialOs fake;
        ZKWWinExtSerialPort p(fake);
        ASSERT_TRUE(p.Open());
        fake.input = "x";
        (fails ? fake.readFails : fake.readReturnsNothing) = true;
        char c = 0;
        EXPECT_EQ(p.Read(&c, 1), -1) << fails;
        EXPECT_EQ(p.LastError(), 13) << fails;
        if (fails) {
            EXPECT_EQ(p.OsError(), EIO);
        }
    }
}

TEST_F(PortRules, WriteFlushesAfterTheBytesEvenWhenItFails) {
    EXPECT_EQ(port.Write("abc", 3), 0);  // closed: nothing written, no error
    EXPECT_EQ(port.LastError(), 0);
    EXPECT_TRUE(os.calls.empty());
    OpenPort();
    EXPECT_EQ(port.Write("abc", 3), 3);
    EXPECT_EQ(os.output, "abc");
    EXPECT_EQ(os.Names(), (std::vector<std::string>{"Write", "Flush"}));
    os.Forget();
    os.writeFails = true;
    EXPECT_EQ(port.Write("abc", 3), -1);
    EXPECT_EQ(port.LastError(), 14);
    EXPECT_EQ(os.Names(), (std::vector<std::string>{"Write", "Flush"}));
}

TEST_F(PortRules, ReadCharAndWriteChar) {
    char c = 'z';
    EXPECT_FALSE(port.ReadChar(c));  // closed
    EXPECT_FALSE(port.WriteChar('a'));
    OpenPort();
    EXPECT_FALSE(port.ReadChar(c));  // nothing queued
    EXPECT_EQ(c, 'z');
    os.input = "q";
    EXPECT_TRUE(port.ReadChar(c));
    EXPECT_EQ(c, 'q');
    os.Forget();
    EXPECT_TRUE(port.WriteChar('w'));
    EXPECT_EQ(os.output, "w");
    EXPECT_EQ(os.Names(), (std::vector<std::string>{"Write", "Flush"}));
    os.writeFails = true;
    EXPECT_FALSE(port.WriteChar('w'));
    EXPECT_EQ(port.LastError(), 14);
    os.input = "q";
    os.readFails = true;
    EXPECT_FALSE(port.ReadChar(c));
    EXPECT_EQ(port.LastError(), 13);
}

TEST_F(PortRules, ReadLineStopsAfterALineFeedAndKeepsRoomForTheNul) {
    OpenPort();
    os.input = "ab\ncd";
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(port.ReadLine(buffer, 16), 4);
    EXPECT_STREQ(buffer, "ab\n");
    EXPECT_EQ(port.ReadLine(buffer, 16), 3);
    EXPECT_STREQ(buffer, "cd");
    EXPECT_EQ(port.ReadLine(buffer, 16), 0);
    // Room is kept for the NUL.
    os.input = "abcdef";
    EXPECT_EQ(port.ReadLine(buffer, 4), 4);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(os.input, "def");
}

TEST_F(PortRules, ControlLinesAndModemStatus) {
    EXPECT_EQ(port.SetDtr(true), 0);
    EXPECT_EQ(port.SetRts(true), 0);
    EXPECT_EQ(port.ModemStatus(), 0u);
    EXPECT_TRUE(os.calls.empty());
    OpenPort();
    port.SetDtr(true);
    port.SetDtr(false);
    port.SetRts(true);
    port.SetRts(false);
    ASSERT_EQ(os.Count("Escape"), 4);
    EXPECT_EQ(os.calls[0].function, serial::EscapeFunction::kSetDtr);
    EXPECT_EQ(os.calls[1].function, serial::EscapeFunction::kClearDtr);
    EXPECT_EQ(os.calls[2].function, serial::EscapeFunction::kSetRts);
    EXPECT_EQ(os.calls[3].function, serial::EscapeFunction::kClearRts);
    const uint32_t all =
        serial::kMsCtsOn | serial::kMsDsrOn | serial::kMsRlsdOn | serial::kMsRingOn;
    for (const auto& [lines, status] :
         std::initializer_list<std::pair<uint32_t, uint32_t>>{{serial::kMsCtsOn, 1},
                                                              {serial::kMsDsrOn, 2},
                                                              {serial::kMsRlsdOn, 4},
                                                              {serial::kMsRingOn, 8},
                                                              {all, 15}}) {
        os.modemStatus = lines;
        EXPECT_EQ(port.ModemStatus(), status) << lines;
    }
}

}  // namespace
