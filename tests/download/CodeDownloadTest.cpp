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

constexpr const char* kCodeTimedOut = "Code download timed out or canceled by user.";

class CodeDownloadTest : public DownloadFixture {
  public:
    std::istringstream loader;
    std::istringstream code;
    Bytes codeData;

    void Images(const Bytes& loaderData, const Bytes& codeBytes) {
        codeData = codeBytes;
        loader.str(Image(loaderData, '2', 0x010100));
        code.str(Image(codeData, '3', 0xFE040100));
    }
    LinkResult Run(TargetKind kind = 2, bool isBoot = false, bool processorFlag = true) {
        return DownloadCode(link, loader, code, sink, kind, bar, isBoot, processorFlag, clock);
    }
    const flashsim::FlashedImage& CodeImage() const { return Target().Images().at(1); }
};

// ---------- Whole download ----------

TEST_F(CodeDownloadTest, LoaderThenApplicationFlashesTheRecordDataAndFillerToAWholePair) {
    Start();
    const Bytes loaderData = Pattern(1000, 1);
    Images(loaderData, Pattern(5000, 2));

    ASSERT_EQ(Run(2), LinkResult::kSuccess);

    ASSERT_EQ(Target().Images().size(), 2u);
    EXPECT_EQ(Target().Images()[0].data, Padded(loaderData, 0xFF));
    EXPECT_EQ(CodeImage().data, Padded(codeData, 0xFF));
    EXPECT_TRUE(Target().Images()[0].ended);
    EXPECT_TRUE(CodeImage().ended);
    EXPECT_EQ(status.texts,
              (std::vector<std::string>{"Preparing to download ...", "Downloading Loader code ...",
                                        "Erasing flash (80 seconds)...",
                                        "Downloading Application code ...", "Download finished."}));
    // After the code image the radio and the line are at 19200 baud.
    EXPECT_EQ(Target().RateChanges(), std::vector<int>{19200});
    EXPECT_EQ(line.baudIndex, 14);
    // Only kind 1 asks for the processor.
    EXPECT_EQ(Target().ProcessorQueries(), 0);
}

TEST_F(CodeDownloadTest, BootDownloadNamesBootCodeWaitsOneSecondAndChangesRateOnceAtTheEnd) {
    Start();
    Images(Pattern(300), Pattern(300, 3));
    ASSERT_EQ(Run(4, true), LinkResult::kSuccess);
    EXPECT_TRUE(status.Has("Downloading Boot code ..."));
    EXPECT_FALSE(status.Has("Erasing flash (40 seconds)..."));
    const double gap = CodeImage().startMs - radio->requestTimesMs[0];
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
    Start();
    Images({}, Pattern(GetParam().bytes, 7));
    ASSERT_EQ(Run(0), LinkResult::kSuccess);
    EXPECT_EQ(CodeImage().data.size(), GetParam().flashed);
    EXPECT_EQ(CodeImage().blocks, GetParam().blocks);
    EXPECT_EQ(CodeImage().data, Padded(codeData, 0xFF));
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
    // The application's wait for kinds 0 to 8; a boot download waits one second whatever the kind.
    const char* k2 = "Erasing flash (2 seconds)...";
    const char* k40 = "Erasing flash (40 seconds)...";
    const char* k80 = "Erasing flash (80 seconds)...";
    const EraseWait app[] = {{k2, 36},    {nullptr, 18}, {k80, 1440}, {k80, 1440}, {k40, 720},
                             {k80, 1440}, {k80, 1440},   {k80, 1440}, {k2, 36}};
    for (int kind = 0; kind <= 8; ++kind) {
        SCOPED_TRACE(kind);
        const EraseWait boot = EraseWaitFor(static_cast<TargetKind>(kind), true);
        EXPECT_EQ(boot.text, nullptr);
        EXPECT_EQ(boot.ticks, 18);
        const EraseWait wait = EraseWaitFor(static_cast<TargetKind>(kind), false);
        EXPECT_EQ(wait.ticks, app[kind].ticks);
        EXPECT_STREQ(wait.text, app[kind].text);
    }
}

TEST_F(CodeDownloadTest, EraseWaitOfEightySecondsRunsOnTheVirtualClockAndCoversTheRadioErase) {
    // The radio needs 79 s after the loader; the tool waits its 80 s before the code start.
    Radio({4, 1, 79000, 0});
    OpenDevice();
    Images(Pattern(200), Pattern(200, 9));
    ASSERT_EQ(Run(5), LinkResult::kSuccess);
    const double gap = CodeImage().startMs - radio->requestTimesMs.front();
    EXPECT_GE(gap, 80000.0);
    EXPECT_LT(gap, 80200.0);
}

// ---------- Progress ----------

TEST_F(CodeDownloadTest, ProgressBarRangeIsAQuarterOfTheFilePlus64AndGrowsPerBlock) {
    Start();
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

// ---------- Faults of the radio, Stop ----------

// A fault of the radio's flash side (or Stop pressed), on one transport, with a loader of 50
// bytes and code of codeBytes: what the download ends in, then what the radio saw of it.
struct FaultCase {
    const char* name;
    void (*fault)(flashsim::Faults&);
    bool onComponent;
    std::size_t codeBytes;
    TargetKind kind;
    int stopAtMs;  // Stop pressed this long into the run; -1: never
    LinkResult result;
    const char* last;  // the last status text; nullptr: not checked
    void (*check)(CodeDownloadTest&);
};

void NoFault(flashsim::Faults&) {}

const FaultCase kFaultCases[] = {
    {"RejectedPairIsSentAgainAfterEachAcknowledgementFourTimesThenResult4",
     [](flashsim::Faults& f) { f.wrongSumAtPair = 1; }, false, 256 * 4, 0, -1,
     LinkResult::kTimedOut, kCodeTimedOut,
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.CodeImage().rejectedPairs, 1);
         EXPECT_EQ(t.CodeImage().resends, 4);
         EXPECT_EQ(t.CountRequests(0x02, 0x06), 1);
         EXPECT_EQ(t.CountRequests(0x02, 0x04), 1);  // the loader's end only
         EXPECT_TRUE(t.Target().RateChanges().empty());
         // It gave up at once, without waiting out a timeout.
         EXPECT_LT(t.pump.NowMs() - t.CodeImage().startMs, 1000.0);
     }},
    {"VerifyFailureShowsTheAddressAsEightHexDigits",
     [](flashsim::Faults& f) {
         f.verifyFailAtPair = 2;
         f.verifyFailAddress = 0xFE04010A;
     },
     false, 256 * 4, 0, -1, LinkResult::kVerifyFailure,
     "Flash Verify failed at address: 0xFE04010A",
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.CodeImage().data.size(), 256u * 3);
         EXPECT_EQ(t.CountRequests(0x02, 0x04), 1);
     }},
    {"BusyRepliesAreRepeatedOnTheComponentTransport",
     [](flashsim::Faults& f) {
         f.image = -1;
         f.busyStartReplies = 2;
         f.busyPairReplies = 1;
     },
     true, 700, 0, -1, LinkResult::kSuccess, nullptr,
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.CountRequests(0x02, 0x01), 6);  // each start twice busy, then ready
         EXPECT_EQ(t.CodeImage().data, Padded(t.codeData, 0xFF));
         EXPECT_EQ(t.CodeImage().blocks, 6 + 3);  // every second block once more
         EXPECT_EQ(t.component.baud, 19200);
     }},
    {"BusyStartReplyOnTheDeviceTransportEndsTheWaitAsSuccess",
     [](flashsim::Faults& f) {
         f.image = -1;
         f.busyStartReplies = 1;
     },
     false, 300, 0, -1, LinkResult::kSuccess, nullptr,
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.CountRequests(0x02, 0x01), 2);
         EXPECT_EQ(t.CodeImage().data, Padded(t.codeData, 0xFF));
     }},
    {"BusyPairReplyOnTheDeviceTransportIsNeverTakenAsAMatchingSum",
     [](flashsim::Faults& f) { f.busyPairReplies = 1; }, false, 300, 0, -1, LinkResult::kTimedOut,
     kCodeTimedOut,
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.CountRequests(0x02, 0x05), 1);  // the loader's pair only
         EXPECT_EQ(t.CountRequests(0x02, 0x06), 1);
     }},
    {"SilenceTimesOutAfter15SecondsOnTheDevice", [](flashsim::Faults& f) { f.silentFromBlock = 3; },
     false, 2000, 0, -1, LinkResult::kTimedOut, kCodeTimedOut,
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.timer.fired, 1);
         EXPECT_EQ(t.CodeImage().blocks, 3);
     }},
    {"SilenceOnTheComponentIsACommunicationProblem",
     [](flashsim::Faults& f) { f.silentFromBlock = 0; }, true, 2000, 0, -1,
     LinkResult::kCommProblem, "Communication problem during code download.",
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.component.lastArmedTicks, 270);
         EXPECT_EQ(t.component.triggersAdded, t.component.triggersRemoved);
     }},
    {"StopDuringTheBlocksEndsWithTheCancelText", NoFault, false, 20000, 0, 1500,
     LinkResult::kTimedOut, kCodeTimedOut,
     [](CodeDownloadTest& t) { EXPECT_FALSE(t.CodeImage().ended); }},
    {"StopDuringTheEraseWaitEndsTheDownloadAsCancelled", NoFault, false, 200, 4, 10000,
     LinkResult::kTimedOut, kCodeTimedOut,
     [](CodeDownloadTest& t) {
         EXPECT_EQ(t.Target().Images().size(), 2u);  // the start was sent, nothing after it
         EXPECT_EQ(t.CodeImage().blocks, 0);
     }},
};

class FaultTest : public CodeDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, EndsAsTheRadioAnswered) {
    const FaultCase& c = GetParam();
    flashsim::Faults faults;
    c.fault(faults);
    Start(faults, c.onComponent);
    Images(Pattern(50), Pattern(c.codeBytes, 6));
    if (c.stopAtMs >= 0)
        pump.AfterMs(c.stopAtMs, [this] { link.SetEnabled(false); });
    EXPECT_EQ(Run(c.kind), c.result);
    if (c.last) {
        EXPECT_EQ(status.Last(), c.last);
    }
    ASSERT_EQ(Target().Images().size(), 2u);
    c.check(*this);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodeDownloadTest, NoTimeoutTriggerMeansResult2WithoutSendingAnything) {
    Start({}, true);
    component.failAddTrigger = true;
    Images(Pattern(50), Pattern(50));
    EXPECT_EQ(Run(0), LinkResult::kCommProblem);
    EXPECT_EQ(status.texts, std::vector<std::string>{"Preparing to download ..."});
    EXPECT_TRUE(radio->requests.empty());
}

TEST_F(CodeDownloadTest, AnImageThatCannotBeReadIsRefusedBeforeAnythingIsSent) {
    Start();
    Images(Pattern(50), Pattern(50));
    std::ifstream missing("/nonexistent/Code.hex");
    EXPECT_EQ(DownloadCode(link, loader, missing, sink, 2, bar, false, true, clock),
              LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Error reading the firmware image files during code download.");
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
    Start();
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

}  // namespace
