#include "download/CodeDownload.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "DownloadFixture.h"
#include "download/DownloadTexts.h"
#include "download/EraseWait.h"

using dltest::Bytes;
using dltest::Image;
using dltest::Pattern;

namespace {

class CodeDownloadTest : public DownloadFixture {
  protected:
    std::istringstream loader;
    std::istringstream code;

    void Images(const Bytes& loaderData, const Bytes& codeData) {
        loader.str(Image(loaderData, '2', 0x010100));
        code.str(Image(codeData, '3', 0xFE040100));
    }
    LinkResult Run(TargetKind kind = 2, bool isBoot = false, bool processorFlag = true) {
        return DownloadCode(link, loader, code, sink, kind, bar, isBoot, processorFlag, clock);
    }
};

// ---------- Whole download ----------

TEST_F(CodeDownloadTest, LoaderThenApplicationFlashesTheRecordDataAndFillerToAWholePair) {
    Radio();
    OpenDevice();
    const Bytes loaderData = Pattern(1000, 1);
    const Bytes codeData = Pattern(5000, 2);
    Images(loaderData, codeData);

    ASSERT_EQ(Run(2), LinkResult::kSuccess);

    ASSERT_EQ(Target().Images().size(), 2u);
    EXPECT_EQ(Target().Images()[0].data, Padded(loaderData, 0xFF));
    EXPECT_EQ(Target().Images()[1].data, Padded(codeData, 0xFF));
    EXPECT_TRUE(Target().Images()[0].ended);
    EXPECT_TRUE(Target().Images()[1].ended);
    EXPECT_EQ(status.texts,
              (std::vector<std::string>{"Preparing to download ...", "Downloading Loader code ...",
                                        "Erasing flash (80 seconds)...",
                                        "Downloading Application code ...", "Download finished."}));
    // After the code image the radio and the line are at 19200 baud.
    EXPECT_EQ(Target().RateChanges(), std::vector<int>{19200});
    EXPECT_EQ(line.baudIndex, 14);
    EXPECT_EQ(Target().ProcessorQueries(), 0);
}

TEST_F(CodeDownloadTest, BootDownloadNamesBootCodeWaitsOneSecondAndChangesRateOnceAtTheEnd) {
    Radio();
    OpenDevice();
    Images(Pattern(300), Pattern(300, 3));
    ASSERT_EQ(Run(4, true), LinkResult::kSuccess);
    EXPECT_TRUE(status.Has("Downloading Boot code ..."));
    EXPECT_FALSE(status.Has("Erasing flash (40 seconds)..."));
    const double gap = Target().Images()[1].startMs - radio->requestTimesMs[0];
    EXPECT_GE(gap, 1000.0);
    EXPECT_LT(gap, 1100.0);
    EXPECT_EQ(Target().RateChanges(), std::vector<int>{19200});
}

// ---------- Where the data ends ----------

struct EndCase {
    std::size_t bytes;
    std::size_t flashed;
    int blocks;
};

class ImageEndTest : public CodeDownloadTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(ImageEndTest, EveryImageEndsOnACompletePairOfBlocks) {
    Radio();
    OpenDevice();
    const Bytes data = Pattern(GetParam().bytes, 7);
    Images({}, data);
    ASSERT_EQ(Run(0), LinkResult::kSuccess);
    const auto& image = Target().Images()[1];
    EXPECT_EQ(image.data.size(), GetParam().flashed);
    EXPECT_EQ(image.blocks, GetParam().blocks);
    EXPECT_EQ(image.data, Padded(data, 0xFF));
    // The loader without data is one pair of filler blocks.
    EXPECT_EQ(Target().Images()[0].data, Bytes(256, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(Boundaries, ImageEndTest,
                         ::testing::Values(EndCase{256, 256, 2},  // end of a pair: no filler
                                           EndCase{128, 256, 2},  // end of a first block
                                           EndCase{0, 256, 2},    // no data: one filler pair
                                           EndCase{130, 256, 2},  // into a second block
                                           EndCase{512, 512, 4},  // two pairs exactly
                                           EndCase{514, 768, 6}));

// ---------- Erase wait ----------

TEST(EraseWaitFor, ByKindAndBoot) {
    for (int kind = 0; kind <= 8; ++kind) {
        const EraseWait boot = EraseWaitFor(static_cast<TargetKind>(kind), true);
        EXPECT_EQ(boot.text, nullptr);
        EXPECT_EQ(boot.ticks, 18);
        const EraseWait app = EraseWaitFor(static_cast<TargetKind>(kind), false);
        switch (kind) {
            case 1:
                EXPECT_EQ(app.text, nullptr);
                EXPECT_EQ(app.ticks, 18);
                break;
            case 4:
                EXPECT_STREQ(app.text, "Erasing flash (40 seconds)...");
                EXPECT_EQ(app.ticks, 720);
                break;
            case 0:
            case 8:
                EXPECT_STREQ(app.text, "Erasing flash (2 seconds)...");
                EXPECT_EQ(app.ticks, 36);
                break;
            default:
                EXPECT_STREQ(app.text, "Erasing flash (80 seconds)...");
                EXPECT_EQ(app.ticks, 1440);
        }
    }
}

TEST_F(CodeDownloadTest, EraseWaitOfEightySecondsRunsOnTheVirtualClockAndCoversTheRadioErase) {
    // The radio needs 79 s after the loader; the tool waits its 80 s before the code start.
    Radio({4, 1, 79000, 0});
    OpenDevice();
    Images(Pattern(200), Pattern(200, 9));
    ASSERT_EQ(Run(5), LinkResult::kSuccess);
    const double gap = Target().Images()[1].startMs - radio->requestTimesMs.front();
    EXPECT_GE(gap, 80000.0);
    EXPECT_LT(gap, 80200.0);
}

TEST_F(CodeDownloadTest, StopDuringTheEraseWaitEndsTheDownloadAsCancelled) {
    Radio();
    OpenDevice();
    Images(Pattern(200), Pattern(200, 9));
    pump.AfterMs(10000, [this] { link.SetEnabled(false); });
    EXPECT_EQ(Run(4), LinkResult::kTimedOut);
    EXPECT_EQ(status.Last(), "Code download timed out or canceled by user.");
    EXPECT_EQ(Target().Images().size(), 2u);  // the start was sent, nothing after it
    EXPECT_EQ(Target().Images()[1].blocks, 0);
}

// ---------- Progress ----------

TEST_F(CodeDownloadTest, ProgressBarRangeIsAQuarterOfTheFilePlus64AndGrowsPerBlock) {
    Radio();
    OpenDevice();
    Images(Pattern(32), Pattern(256 * 3, 4));  // 48 code records of 16 bytes, 6 blocks
    const auto codeSize = static_cast<int>(code.str().size());
    ASSERT_EQ(Run(0), LinkResult::kSuccess);
    EXPECT_EQ(bar.minimum, 0);
    ASSERT_EQ(bar.maxima.size(), 2u);
    EXPECT_EQ(bar.maxima[1], codeSize / 4 + 64);
    // Positions of the code image: 0, then per block the records so far (weight 4) + 64 each.
    std::vector<int> tail(bar.positions.end() - 7, bar.positions.end());
    EXPECT_EQ(tail, (std::vector<int>{0, 4 * 9 + 64, 4 * 17 + 128, 4 * 25 + 192, 4 * 33 + 256,
                                      4 * 41 + 320, 4 * 48 + 384}));
}

// ---------- Pair sums, resends and verify failures ----------

TEST_F(CodeDownloadTest, RejectedPairIsSentAgainAfterEachAcknowledgementFourTimesThenResult4) {
    flashsim::Faults faults;
    faults.wrongSumAtPair = 1;
    Radio({}, faults);
    OpenDevice();
    Images(Pattern(100), Pattern(256 * 4, 5));
    EXPECT_EQ(Run(0), LinkResult::kTimedOut);
    EXPECT_EQ(status.Last(), "Code download timed out or canceled by user.");
    const auto& image = Target().Images()[1];
    EXPECT_EQ(image.rejectedPairs, 1);
    EXPECT_EQ(image.resends, 4);
    EXPECT_EQ(CountRequests(0x02, 0x06), 1);
    EXPECT_EQ(CountRequests(0x02, 0x04), 1);  // the loader's end only
    EXPECT_TRUE(Target().RateChanges().empty());
    // It gave up at once, without waiting out a timeout.
    EXPECT_LT(pump.NowMs() - Target().Images()[1].startMs, 1000.0);
}

TEST_F(CodeDownloadTest, VerifyFailureShowsTheAddressAsEightHexDigits) {
    flashsim::Faults faults;
    faults.verifyFailAtPair = 2;
    faults.verifyFailAddress = 0xFE04010A;
    Radio({}, faults);
    OpenDevice();
    Images(Pattern(100), Pattern(256 * 4, 5));
    EXPECT_EQ(Run(0), LinkResult::kVerifyFailure);
    EXPECT_EQ(status.Last(), "Flash Verify failed at address: 0xFE04010A");
    EXPECT_EQ(Target().Images()[1].data.size(), 256u * 3);
    EXPECT_EQ(CountRequests(0x02, 0x04), 1);
}

// ---------- Busy replies ----------

TEST_F(CodeDownloadTest, BusyRepliesAreRepeatedOnTheComponentTransport) {
    flashsim::Faults faults;
    faults.image = -1;
    faults.busyStartReplies = 2;
    faults.busyPairReplies = 1;
    Radio({}, faults);
    OpenComponent();
    const Bytes codeData = Pattern(700, 6);
    Images(Pattern(50), codeData);
    ASSERT_EQ(Run(0), LinkResult::kSuccess);
    EXPECT_EQ(CountRequests(0x02, 0x01), 6);  // each start twice busy, then ready
    EXPECT_EQ(Target().Images()[1].data, Padded(codeData, 0xFF));
    EXPECT_EQ(Target().Images()[1].blocks, 6 + 3);  // every second block once more
    EXPECT_EQ(component.baud, 19200);
}

TEST_F(CodeDownloadTest, BusyStartReplyOnTheDeviceTransportEndsTheWaitAsSuccess) {
    flashsim::Faults faults;
    faults.image = -1;
    faults.busyStartReplies = 1;
    Radio({}, faults);
    OpenDevice();
    const Bytes codeData = Pattern(300, 6);
    Images(Pattern(50), codeData);
    ASSERT_EQ(Run(0), LinkResult::kSuccess);
    EXPECT_EQ(CountRequests(0x02, 0x01), 2);
    EXPECT_EQ(Target().Images()[1].data, Padded(codeData, 0xFF));
}

TEST_F(CodeDownloadTest, BusyPairReplyOnTheDeviceTransportIsNeverTakenAsAMatchingSum) {
    flashsim::Faults faults;
    faults.busyPairReplies = 1;
    Radio({}, faults);
    OpenDevice();
    Images(Pattern(50), Pattern(300, 6));
    EXPECT_EQ(Run(0), LinkResult::kTimedOut);
    EXPECT_EQ(CountRequests(0x02, 0x05), 1);  // the loader's pair only
    EXPECT_EQ(CountRequests(0x02, 0x06), 1);
}

// ---------- Silence, Stop, no timeout ----------

TEST_F(CodeDownloadTest, SilenceTimesOutAfter15SecondsOnTheDevice) {
    flashsim::Faults faults;
    faults.silentFromBlock = 3;
    Radio({}, faults);
    OpenDevice();
    Images(Pattern(50), Pattern(2000, 6));
    EXPECT_EQ(Run(0), LinkResult::kTimedOut);
    EXPECT_EQ(status.Last(), "Code download timed out or canceled by user.");
    EXPECT_EQ(timer.fired, 1);
    EXPECT_EQ(Target().Images()[1].blocks, 3);
}

TEST_F(CodeDownloadTest, SilenceOnTheComponentIsACommunicationProblem) {
    flashsim::Faults faults;
    faults.silentFromBlock = 0;
    Radio({}, faults);
    OpenComponent();
    Images(Pattern(50), Pattern(2000, 6));
    EXPECT_EQ(Run(0), LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Communication problem during code download.");
    EXPECT_EQ(component.lastArmedTicks, 270);
    EXPECT_EQ(component.triggersAdded, component.triggersRemoved);
}

TEST_F(CodeDownloadTest, StopDuringTheBlocksEndsWithTheCancelText) {
    Radio();
    OpenDevice();
    Images(Pattern(50), Pattern(20000, 6));
    pump.AfterMs(1500, [this] { link.SetEnabled(false); });
    EXPECT_EQ(Run(0), LinkResult::kTimedOut);
    EXPECT_EQ(status.Last(), "Code download timed out or canceled by user.");
    EXPECT_FALSE(Target().Images()[1].ended);
}

TEST_F(CodeDownloadTest, NoTimeoutTriggerMeansResult2WithoutSendingAnything) {
    Radio();
    OpenComponent();
    component.failAddTrigger = true;
    Images(Pattern(50), Pattern(50));
    EXPECT_EQ(Run(0), LinkResult::kCommProblem);
    EXPECT_EQ(status.texts, std::vector<std::string>{"Preparing to download ..."});
    EXPECT_TRUE(radio->requests.empty());
}

// ---------- Processor check ----------

struct ProcessorCase {
    std::uint8_t processorByte;
    bool processorFlag;
    LinkResult result;
};

class ProcessorTest : public CodeDownloadTest,
                      public ::testing::WithParamInterface<ProcessorCase> {};

TEST_P(ProcessorTest, Kind1AsksForTheProcessorAfterTheLoader) {
    Radio({GetParam().processorByte, 1, 0, 0});
    OpenDevice();
    Images(Pattern(50), Pattern(50));
    EXPECT_EQ(Run(1, false, GetParam().processorFlag), GetParam().result);
    EXPECT_EQ(Target().ProcessorQueries(), 1);
    const bool codeSent = GetParam().result == LinkResult::kSuccess;
    EXPECT_EQ(Target().Images().size(), codeSent ? 2u : 1u);
    // Kind 1 shows no erase text.
    for (const auto& t : status.texts)
        EXPECT_EQ(t.find("Erasing"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Variants, ProcessorTest,
                         ::testing::Values(ProcessorCase{4, true, LinkResult::kSuccess},
                                           ProcessorCase{8, false, LinkResult::kSuccess},
                                           ProcessorCase{8, true, LinkResult::kProcessorMismatch},
                                           ProcessorCase{4, false, LinkResult::kProcessorMismatch},
                                           ProcessorCase{0, true, LinkResult::kProcessorMismatch}));

TEST_F(CodeDownloadTest, ProcessorQueryWithoutReplyIsAMismatch) {
    Radio();
    OpenDevice();
    Images(Pattern(50), Pattern(50));
    // Only the query goes unanswered: drop the reply frames to 02 0B.
    auto forward = line.onWrite;
    line.onWrite = [&, forward](const Bytes& b) {
        if (!(b.size() > 4 && b[3] == 0x02 && b[4] == 0x0B))
            forward(b);
    };
    EXPECT_EQ(Run(1), LinkResult::kProcessorMismatch);
    EXPECT_EQ(Target().Images().size(), 1u);
}

TEST_F(CodeDownloadTest, OtherKindsNeverAskForTheProcessor) {
    Radio({8, 1, 0, 0});
    OpenDevice();
    Images(Pattern(50), Pattern(50));
    EXPECT_EQ(Run(2), LinkResult::kSuccess);
    EXPECT_EQ(Target().ProcessorQueries(), 0);
}

}  // namespace

namespace {

TEST_F(CodeDownloadTest, AnImageThatCannotBeReadIsRefusedBeforeAnythingIsSent) {
    Radio();
    OpenDevice();
    Images(Pattern(50), Pattern(50));
    std::ifstream missing("/nonexistent/Code.hex");
    EXPECT_EQ(DownloadCode(link, loader, missing, sink, 2, bar, false, true, clock),
              LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Error reading the firmware image files during code download.");
    EXPECT_TRUE(radio->requests.empty());
}

}  // namespace
