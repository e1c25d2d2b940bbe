// The serial communication device against the recording system layer.

#include <gtest/gtest.h>

#include <memory>

#include "FakeSerialOs.h"
#include "serial/ZKWCommDeviceSerial.h"
#include "serial/ZKWWinExtSerialPort.h"

namespace {

class CommDevice : public ::testing::Test {
  protected:
    FakeSerialOs os;
    ZKWCommDeviceSerial device{std::make_unique<ZKWWinExtSerialPort>(os)};
};

TEST_F(CommDevice, OpenPortConfiguresInOrder) {
    ASSERT_TRUE(device.OpenPort(7, 14, false));
    EXPECT_EQ(os.openedName, "\\\\.\\COM7");
    EXPECT_EQ(device.Port().PortName(), "\\\\.\\COM7");
    // The port's Open (9 calls), the device's flush, then baud, data bits, stop bits, parity,
    // flow control and the time-outs.
    std::vector<std::string> names = os.Names();
    ASSERT_EQ(names.size(), 16u);
    EXPECT_EQ(names[9], "Flush");
    const std::vector<std::string> tail(names.begin() + 10, names.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"SetConfig", "SetConfig", "SetConfig", "SetConfig",
                                              "SetConfig", "SetTimeouts"}));
    EXPECT_EQ(os.device.baudRate, 19200u);
    EXPECT_EQ(os.device.byteSize, 8);
    EXPECT_EQ(os.device.parity, serial::kNoParity);
    EXPECT_EQ(os.device.stopBits, serial::kOneStopBit);
    EXPECT_FALSE(os.device.outxCtsFlow);
    EXPECT_EQ(os.device.rtsControl, serial::kRtsControlDisable);
    EXPECT_EQ(os.Last("SetTimeouts")->timeouts, IntervalTimeouts(2000));
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(CommDevice, OpenPortOnAnAbsentPortConfiguresNothing) {
    os.openFails = true;
    os.failure.kind = serial::FailureKind::kAbsent;
    EXPECT_FALSE(device.OpenPort(9, 19, true));
    EXPECT_EQ(os.Names(), std::vector<std::string>{"Open"});
    EXPECT_EQ(device.Port().Baud(), 14);
    EXPECT_EQ(device.Port().FlowControl(), 0);
    EXPECT_EQ(device.Port().CommTimeouts(), serial::Timeouts());
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Port().LastOpenFailure().kind, serial::FailureKind::kAbsent);
}

TEST_F(CommDevice, OpenFlushesAndReturns1OrMinus1) {
    os.openFails = true;
    EXPECT_EQ(device.Open(), -1);
    EXPECT_EQ(os.Names(), std::vector<std::string>{"Open"});
    os.openFails = false;
    os.Forget();
    EXPECT_EQ(device.Open(), 1);
    EXPECT_EQ(os.calls.back().name, "Flush");
    os.Forget();
    EXPECT_EQ(device.Open(), 1);  // already open: only the flush
    EXPECT_EQ(os.Names(), std::vector<std::string>{"Flush"});
}

TEST_F(CommDevice, CloseFlushesThenClosesAndReturns1EvenWhenNeverOpened) {
    EXPECT_EQ(device.Close(), 1);
    EXPECT_EQ(os.Names(), std::vector<std::string>{"Close"});  // the flush does nothing closed
    ASSERT_TRUE(device.OpenPort(1, 14, false));
    os.Forget();
    EXPECT_EQ(device.Close(), 1);
    EXPECT_EQ(os.Names(), (std::vector<std::string>{"Flush", "Close"}));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(CommDevice, DestroyingAnOpenDeviceClosesWithoutFlush) {
    FakeSerialOs fake;
    {
        ZKWCommDeviceSerial d(std::make_unique<ZKWWinExtSerialPort>(fake));
        ASSERT_TRUE(d.OpenPort(2, 14, false));
        fake.Forget();
    }
    EXPECT_EQ(fake.Names(), std::vector<std::string>{"Close"});
}

TEST_F(CommDevice, HasData) {
    EXPECT_FALSE(device.HasData());  // closed
    ASSERT_TRUE(device.OpenPort(1, 14, false));
    EXPECT_FALSE(device.HasData());  // nothing queued
    os.input = "x";
    EXPECT_TRUE(device.HasData());
    os.clearErrorFails = true;  // the query fails: -1 counts as no data
    EXPECT_FALSE(device.HasData());
}

TEST_F(CommDevice, ReadAndWriteForwardToThePortAndFailuresShowInLastError) {
    char buffer[8] = {};
    EXPECT_EQ(device.Read(buffer, 8), 0);  // closed
    EXPECT_EQ(device.Write("ab", 2), 0);
    ASSERT_TRUE(device.OpenPort(1, 14, false));
    os.input = "reply";
    EXPECT_EQ(device.Read(buffer, 8), 5);
    EXPECT_EQ(std::string(buffer, 5), "reply");
    EXPECT_EQ(device.Write("frame", 5), 5);
    EXPECT_EQ(os.output, "frame");
    // Failures show in LastError.
    os.writeFails = true;
    EXPECT_EQ(device.Write("x", 1), -1);
    EXPECT_EQ(device.LastError(), 14);
    os.input = "x";
    os.readFails = true;
    char c;
    EXPECT_EQ(device.ReadByte(c), -1);
    EXPECT_EQ(device.LastError(), 13);
}

TEST_F(CommDevice, HandshakeSelectsMode3) {
    ASSERT_TRUE(device.OpenPort(1, 14, true));
    EXPECT_EQ(device.Port().FlowControl(), 3);
    ASSERT_EQ(device.SetHandshake(false), 1);
    EXPECT_EQ(device.SetHandshake(true), 1);
    EXPECT_EQ(device.Port().FlowControl(), 3);
    EXPECT_TRUE(os.device.outxCtsFlow);
    EXPECT_EQ(os.device.rtsControl, serial::kRtsControlToggle);
    EXPECT_EQ(device.SetHandshake(false), 1);
    EXPECT_EQ(device.Port().FlowControl(), 0);
    EXPECT_EQ(os.device.rtsControl, serial::kRtsControlDisable);
}

TEST_F(CommDevice, OpenPortCanBeRetriedAfterCloseAtAnotherSpeed) {
    ASSERT_TRUE(device.OpenPort(1, 14, false));
    device.Close();
    ASSERT_TRUE(device.OpenPort(12, 19, false));
    EXPECT_EQ(os.openedName, "\\\\.\\COM12");
    EXPECT_EQ(os.device.baudRate, 115200u);
    EXPECT_EQ(device.Port().Baud(), 19);
    EXPECT_TRUE(device.IsOpen());
}

}  // namespace
