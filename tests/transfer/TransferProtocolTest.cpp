#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "CodeplugPeer.h"
#include "LinkTestSupport.h"
#include "TransferTestSupport.h"
#include "link/RadioLink.h"
#include "transfer/OfbCipher.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

using linktest::Bytes;
using namespace transfer_msg;
using namespace transfertest;

namespace {

constexpr char kAccessCode[] = "0123456789ABCDEF";

// The simulated radio's codeplug side on the fake line. Its scenario is read at the first
// request after construction or Reset; alter may change any reply on its way to the line.
class CodeplugRadio {
  public:
    CodeplugRadio(linktest::VirtualPump& pump, linktest::FakeLine& line) : radio_(pump, line) {
        radio_.onRequest = [this](const Bytes& p, std::uint8_t) { Handle(p); };
    }
    CodeplugScenario scenario;
    std::function<void(Bytes& reply)> alter;
    std::vector<Bytes> requests;
    std::vector<Bytes> replies;

    void Reset() { peer_.reset(); }
    const Bytes& Received() { return Peer().Written(); }
    // The request codes of that kind, in order.
    std::vector<std::uint8_t> Codes(std::initializer_list<std::uint8_t> kinds) const {
        std::vector<std::uint8_t> out;
        for (const Bytes& r : requests)
            for (std::uint8_t k : kinds)
                if (r[1] == k)
                    out.push_back(k);
        return out;
    }
    int Served() const {
        int n = 0;
        for (const Bytes& r : replies)
            n += r.size() >= 2 && r[0] == kGroup && r[1] == DataBlock;
        return n;
    }

  private:
    CodeplugPeer& Peer() {
        if (!peer_) {
            const OfbCipher::Register code = AccessCodeRegister(kAccessCode);
            peer_ = std::make_unique<CodeplugPeer>(scenario, Bytes(code.begin(), code.end()));
        }
        return *peer_;
    }
    void Handle(const Bytes& p) {
        if (p.size() < 2 || p[0] != kGroup)
            return;
        requests.push_back(p);
        for (Bytes reply : Peer().Handle(p.data(), static_cast<int>(p.size()))) {
            if (alter)
                alter(reply);
            replies.push_back(reply);
            radio_.Reply(reply, 1);
        }
    }
    linktest::LineRadio radio_;
    std::unique_ptr<CodeplugPeer> peer_;
};

// Replaces the n-th reply (0 first) of that code with another payload.
std::function<void(Bytes&)> ReplaceNth(std::uint8_t code, int n, Bytes with) {
    return [code, n, with, seen = 0](Bytes& reply) mutable {
        if (reply[0] == kGroup && reply[1] == code && seen++ == n)
            reply = with;
    };
}

class TransferFixture : public ::testing::Test, protected linktest::FakeLineLink {
  protected:
    CodeplugRadio radio{pump, line};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kTransferImageBytes, 0);
    ZKWTransferParms transfer;
    int prompts = 0;

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(link.OpenDevice(1, 19200, false, error));
        link.SetFramed(true);
        ASSERT_TRUE(link.PrepareTimeout(kReplyTimeoutMs));
        transfer.SetImage(buffer.data(), 0);
        transfer.SetAccessCode(kAccessCode);
        transfer.SetLink(&link);
    }

    int Download(const Bytes& image) { return DownloadImage(transfer, buffer, image); }

    int Count(std::uint8_t code) const { return static_cast<int>(radio.Codes({code}).size()); }
};

// ---------- Upload ----------

TEST_F(TransferFixture, UploadFollowsTheRecordChain) {
    const struct {
        const char* name;
        Bytes image;
        int size, nextBlocks;
    } cases[] = {
        // The walk examines one header per block: after block 3 it has reached the third
        // record, and block 4 shows what follows it is no record. The extra block counts in Size.
        {"chain ends inside block 3", RecordChain({60, 80, 10}), 4 * 128, 3},
        {"first block is no record", Bytes(256, 0x11), 128, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        radio.scenario.image = c.image;
        radio.Reset();
        radio.requests.clear();
        ASSERT_GT(transfer.Upload(), 0);
        EXPECT_EQ(transfer.Size(), c.size);
        const auto stored = std::min<std::size_t>(c.image.size(), c.size);
        EXPECT_TRUE(std::equal(c.image.begin(), c.image.begin() + stored, buffer.begin()));
        EXPECT_EQ(Count(TransferEnd), 1);
        EXPECT_EQ(Count(NextBlock), c.nextBlocks);
        EXPECT_FALSE(link.IsEnabled());
    }
}

TEST_F(TransferFixture, UploadThatNeverEndsStopsAtTheBufferNeverBeyond) {
    // Every record is two words long, so the walk never finds the end.
    radio.scenario.image = RecordChain(std::vector<int>(9000, 2));
    std::vector<std::uint8_t> guarded(kTransferImageBytes + 256, 0xEE);
    transfer.SetImage(guarded.data(), 0);
    ASSERT_GT(transfer.Upload(), 0);
    EXPECT_EQ(transfer.Size(), kTransferImageBytes);
    EXPECT_EQ(radio.Served(), 256) << "no 257th block is asked for";
    for (int i = kTransferImageBytes; i < kTransferImageBytes + 256; ++i)
        ASSERT_EQ(guarded[static_cast<std::size_t>(i)], 0xEE) << "byte " << i;
    EXPECT_EQ(Count(TransferEnd), 1);
}

TEST_F(TransferFixture, UploadFailuresGiveMinusOne) {
    radio.scenario.image = RecordChain({200});
    radio.alter = ReplaceNth(DataBlock, 1, {3, 9});
    EXPECT_EQ(transfer.Upload(), -1) << "a group-3 code other than 2 and 8";

    radio.alter = nullptr;
    radio.scenario.otherGroupAtBlock = 1;
    radio.Reset();
    EXPECT_EQ(transfer.Upload(), -1) << "a message of another group";

    radio.scenario.otherGroupAtBlock = -1;
    radio.scenario.silentAtBlock = 1;
    radio.Reset();
    const double start = pump.NowMs();
    EXPECT_EQ(transfer.Upload(), -1) << "the radio goes silent";
    EXPECT_NEAR(pump.NowMs() - start, kReplyTimeoutMs, 50);
}

TEST_F(TransferFixture, ShortDataBlockIsStoredAsFarAsItGoes) {
    radio.scenario.image = Bytes(128, 0x33);
    radio.alter = ReplaceNth(DataBlock, 0, {3, 2, 1, 2, 3});
    std::fill(buffer.begin(), buffer.end(), 0xAA);
    ASSERT_GT(transfer.Upload(), 0);
    EXPECT_EQ(transfer.Size(), 128);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(buffer[3], 0);
    EXPECT_EQ(buffer[127], 0);
    EXPECT_EQ(buffer[128], 0xAA);
}

// ---------- Download ----------

// The radio descrambles with its own keystream: the blocks arrive as sent only if both ends
// advanced it block by block in sending order.
TEST_F(TransferFixture, DownloadSendsAnEvenNumberOfBlocksFilledWithBlanks) {
    struct Case {
        int bytes, blocks;
    };
    for (const Case& c : {Case{200, 2}, Case{256, 2}, Case{300, 4}, Case{1, 2}, Case{129, 2}}) {
        Bytes image(static_cast<std::size_t>(c.bytes));
        for (int i = 0; i < c.bytes; ++i)
            image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13 + 1);
        radio.requests.clear();
        ASSERT_GT(Download(image), 0) << c.bytes;
        EXPECT_TRUE(transfer.DownloadComplete()) << c.bytes;
        const Bytes& received = radio.Received();
        ASSERT_EQ(received.size(), static_cast<std::size_t>(c.blocks * 128)) << c.bytes;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), received.begin())) << c.bytes;
        for (std::size_t i = image.size(); i < received.size(); ++i)
            ASSERT_EQ(received[i], 0x20) << c.bytes << " byte " << i;
        EXPECT_EQ(Count(TransferEnd), 1);
    }
}

TEST_F(TransferFixture, DownloadAnswersEveryBlockSumReport) {
    radio.scenario.reportEvery = 3;
    Bytes image(128 * 7, 0x41);
    ASSERT_GT(Download(image), 0);
    EXPECT_EQ(radio.Codes({BlockSumGood, BlockSumBad}), (std::vector<std::uint8_t>{5, 5}));
    EXPECT_EQ(transfer.LastDownload().sumReports, 2);
    EXPECT_EQ(transfer.LastDownload().blocksSent, 8);
    EXPECT_TRUE(transfer.DownloadComplete());
}

TEST_F(TransferFixture, BlockSumMismatchIsAnsweredAndMadeVisible) {
    radio.alter = [](Bytes& reply) {  // every report off by one
        if (reply[1] == BlockSumReport && ++reply[3] == 0)
            ++reply[2];
    };
    Bytes image(512, 0x42);
    const int result = Download(image);
    EXPECT_GT(result, 0) << "the exchange itself ends as the protocol says";
    EXPECT_EQ(radio.Codes({BlockSumGood, BlockSumBad}), (std::vector<std::uint8_t>{6, 6}));
    EXPECT_EQ(transfer.LastDownload().sumMismatches, 2);
    EXPECT_FALSE(transfer.DownloadComplete());
    EXPECT_EQ(radio.Received().size(), 512u) << "nothing is sent again";
}

TEST_F(TransferFixture, UnexpectedCodeDuringDownloadEndsItPositiveButIncomplete) {
    radio.scenario.reportEvery = 0;
    radio.alter = ReplaceNth(NextBlock, 1, {3, 9});  // in place of the one after block 1
    EXPECT_GT(Download(Bytes(512, 1)), 0);
    EXPECT_FALSE(transfer.DownloadComplete());
    EXPECT_EQ(transfer.LastDownload().blocksSent, 1);
}

TEST_F(TransferFixture, WrongAccessCodeGarblesTheImageAtTheRadio) {
    transfer.SetAccessCode("not a code");
    ASSERT_GT(Download(Bytes(256, 7)), 0);
    EXPECT_NE(radio.Received(), Bytes(256, 7));
}

// ---------- Password ----------

TEST_F(TransferFixture, GrantedAtOnceShowsNoPrompt) {
    radio.alter = ReplaceNth(AccessGranted, 0, {3, AccessGrantedToo});
    AnswerPrompts(transfer, {"1234"}, prompts);
    radio.scenario.image = Bytes(128, 0);
    EXPECT_GT(transfer.Upload(), 0);
    EXPECT_EQ(prompts, 0);
    EXPECT_TRUE(transfer.passChecker.Granted());
}

TEST_F(TransferFixture, GrantedAfterAPromptSendsThePackedDigits) {
    radio.scenario.password = "4711";
    AnswerPrompts(transfer, {"ab47c11"}, prompts);
    ASSERT_GT(Download(Bytes(128, 5)), 0);
    EXPECT_EQ(prompts, 1);
    ASSERT_EQ(Count(PasswordReply), 1);
    EXPECT_EQ(radio.requests[1], (Bytes{3, PasswordReply, 0x47, 0x11, 0xFF, 0xFF}));
    EXPECT_TRUE(transfer.DownloadComplete());
}

TEST_F(TransferFixture, ThreePromptsUsedUpEndTheTransfer) {
    radio.scenario.password = "9999";
    AnswerPrompts(transfer, {"1", "2", "3", "4"}, prompts);
    radio.scenario.image = Bytes(128, 0);
    EXPECT_LE(transfer.Upload(), 0);
    EXPECT_EQ(prompts, 3);
    EXPECT_EQ(Count(PasswordReply), 3);
    EXPECT_FALSE(transfer.passChecker.Granted());
    EXPECT_GE(Count(TransferEnd), 1);
}

TEST_F(TransferFixture, CancelledPromptSendsTransferEndAndNoReply) {
    radio.scenario.password = "9999";
    AnswerPrompts(transfer, {}, prompts);
    EXPECT_LE(Download(Bytes(128, 1)), 0);
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(Count(PasswordReply), 0);
    EXPECT_EQ(Count(TransferEnd), 1);
    EXPECT_TRUE(radio.Received().empty());
}

TEST_F(TransferFixture, NoAnswerToTheRequestEndsWithTheLinkFailure) {
    radio.scenario.image = Bytes(128, 0);
    line.onWrite = nullptr;  // nothing reaches the radio
    EXPECT_EQ(transfer.Upload(), -1);
    EXPECT_FALSE(link.IsEnabled());
}

}  // namespace
