// The simulated radio's model of the serial line, on a virtual clock.
#include <gtest/gtest.h>

#include "LinePacer.h"

namespace {

constexpr std::int64_t kByteNs19200 = 520833;  // 10 bits at 19200 baud, rounded

TEST(LinePacer, PacedBytesAndFramesTakeTheirBitTimesAndQueueBehindEachOther) {
    LinePacer line(true, 250000);
    EXPECT_EQ(LinePacer::ByteNs(19200), kByteNs19200);
    EXPECT_EQ(LinePacer::ByteNs(115200), 86806);
    EXPECT_EQ(line.TurnaroundNs(), 250000);

    // Three bytes written at once arrive one byte time apart.
    EXPECT_EQ(line.Receive(1000, 19200), 1000 + kByteNs19200);
    EXPECT_EQ(line.Receive(1000, 19200), 1000 + 2 * kByteNs19200);
    EXPECT_EQ(line.Receive(1000, 19200), 1000 + 3 * kByteNs19200);
    // A byte written before the last one has crossed waits for it; one written later does not.
    EXPECT_EQ(line.Receive(2000, 19200), 1000 + 4 * kByteNs19200);
    EXPECT_EQ(line.Receive(10000000, 19200), 10000000 + kByteNs19200);

    // A reply reaches the tool once its last byte has crossed; the next one queues behind it.
    EXPECT_EQ(line.Send(20000000, 10, 19200), 20000000 + 10 * kByteNs19200);
    EXPECT_EQ(line.Send(20000000, 2, 115200), 20000000 + 10 * kByteNs19200 + 2 * 86806);

    const LinePacer::Figures f = line.Totals();
    EXPECT_EQ(f.bytesFromTool, 5);
    EXPECT_EQ(f.bytesToTool, 12);
    EXPECT_EQ(f.wireNs, 15 * kByteNs19200 + 2 * 86806);
}

TEST(LinePacer, UnpacedBytesCrossAtOnceButAreStillCounted) {
    LinePacer line(false, 250000);
    EXPECT_EQ(line.TurnaroundNs(), 0);
    EXPECT_EQ(line.Receive(1000, 19200), 1000);
    EXPECT_EQ(line.Receive(1000, 19200), 1000);
    EXPECT_EQ(line.Send(5000, 10, 19200), 5000);
    EXPECT_EQ(line.Send(5000, 10, 19200), 5000);
    EXPECT_EQ(line.Totals().bytesToTool, 20);
    EXPECT_EQ(line.Totals().wireNs, 22 * kByteNs19200);
}

TEST(LinePacer, ToolTurnaroundIsFromADeliveryToTheNextBytesRead) {
    LinePacer line(true);
    line.ToolBytesRead(5000);  // nothing delivered yet: no turnaround
    for (std::int64_t us : {40, 10, 30, 20000000, 20}) {
        line.Delivered(1000000, 0);
        line.ToolBytesRead(1000000 + us * 1000);
        line.ToolBytesRead(1000000 + us * 1000 + 5000);  // same frame, later chunk: not counted
    }
    line.Delivered(9000000, 7000);
    line.Delivered(9500000, 3000);
    const LinePacer::Figures f = line.Totals();
    EXPECT_EQ(f.turnarounds, 5);
    EXPECT_EQ(f.turnaroundMedianNs, 30500);  // the 30 us bin, at its middle
    EXPECT_EQ(f.turnaroundMaxNs, 20000000000LL);
    EXPECT_EQ(f.turnaroundNsSum, 20000100000LL);
    EXPECT_EQ(f.lateNsMax, 7000);
    EXPECT_EQ(f.lateNsSum, 10000);
    EXPECT_EQ(f.replies, 7);
}

}  // namespace
