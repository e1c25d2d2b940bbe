// The codeplug transfer over a real pseudo-terminal, through the program's own serial device,
// against the simulated radio.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "AwaitRadio.h"
#include "SimLinkFixture.h"
#include "TransferTestSupport.h"
#include "convert/CodeplugText.h"
#include "link/RadioLink.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

namespace {

using namespace transfertest;

class CodeplugOverPty : public simtest::SimLinkFixture {
  protected:
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kTransferImageBytes, 0);
    std::unique_ptr<ZKWTransferParms> transfer;
    int prompts = 0;

    // The program's serial device at the transfer's rate, the transfer on it.
    void Start() {
        OpenSimDevice();
        link->ChangeBaud(115200);
        ASSERT_TRUE(link->PrepareTimeout(kReplyTimeoutMs));
        transfer = std::make_unique<ZKWTransferParms>();
        transfer->SetImage(buffer.data(), 0);
        transfer->SetAccessCode(bytesToText(scenario.serial.data(), scenario.serial.size()));
        transfer->SetLink(link.get());
    }
    // Also leaves the fixture ready for another Start.
    void TearDown() override {
        transfer.reset();
        if (link)
            link->ReleaseTimeout();
        SimLinkFixture::TearDown();
        link.reset();
        sim.reset();
    }
    nlohmann::json CodeplugReport() { return sim->Report()["codeplug"]; }
    // The transfer's last frame gets no reply: waits until the radio has counted it.
    bool WaitForRadio(const char* counter, int value) {
        return simtest::AwaitRadio(*sim, pump, [&] { return CodeplugReport()[counter] >= value; });
    }

    int Download(const Bytes& image) { return DownloadImage(*transfer, buffer, image); }
};

TEST_F(CodeplugOverPty, UploadsFollowTheRecordChain) {
    struct Case {
        Bytes codeplug;
        int size;
    };
    for (const Case& c : {Case{RecordChain({60, 80, 10}), 4 * 128},  // ends inside block 3
                          Case{Bytes(300, 0x11), 128}}) {            // first block no record
        scenario.codeplug.image = c.codeplug;
        Start();
        ASSERT_GT(transfer->Upload(), 0);
        EXPECT_EQ(transfer->Size(), c.size);
        EXPECT_TRUE(std::equal(c.codeplug.begin(),
                               c.codeplug.begin() + std::min<int>(c.size, c.codeplug.size()),
                               buffer.begin()));
        EXPECT_TRUE(sim->Violations().empty());
        TearDown();
    }
}

TEST_F(CodeplugOverPty, DownloadsArriveWholeWithTheirFill) {
    for (int bytes : {200, 256, 300}) {
        Start();
        Bytes image(static_cast<std::size_t>(bytes));
        for (int i = 0; i < bytes; ++i)
            image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 5 + 3);
        ASSERT_GT(Download(image), 0) << bytes;
        EXPECT_TRUE(transfer->DownloadComplete()) << bytes;
        ASSERT_TRUE(WaitForRadio("completedDownloads", 1));
        const Bytes written = sim->Codeplug();
        const std::size_t blocks = bytes <= 256 ? 2 : 4;
        ASSERT_EQ(written.size(), blocks * 128) << bytes;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), written.begin())) << bytes;
        EXPECT_TRUE(std::all_of(written.begin() + bytes, written.end(), [](std::uint8_t b) {
            return b == 0x20;
        })) << bytes;
        EXPECT_EQ(CodeplugReport()["completedDownloads"], 1);
        EXPECT_TRUE(sim->Violations().empty());
        TearDown();
    }
}

TEST_F(CodeplugOverPty, AReadCodeplugWrittenBackIsWhatTheRadioHolds) {
    scenario.codeplug.generateFormat = 5;
    scenario.codeplug.generateSeed = 11;
    Start();
    ASSERT_GT(transfer->Upload(), 0);
    const Bytes original = sim->Codeplug();
    const auto read = static_cast<std::size_t>(transfer->Size());
    // The upload ends where the record walk passes the last block: the trailer may be cut.
    ASSERT_GE(read + 256, original.size());
    ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + std::min(read, original.size()),
                           original.begin()));
    ASSERT_GT(Download(Bytes(buffer.begin(), buffer.begin() + transfer->Size())), 0);
    EXPECT_TRUE(transfer->DownloadComplete());
    ASSERT_TRUE(WaitForRadio("completedDownloads", 1));
    const Bytes written = sim->Codeplug();
    ASSERT_GE(written.size(), read);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + read, written.begin()));
}

// A prompt answered over the line; refused and cancelled prompts are tried on the fake line
// (TransferProtocolTest), against the same radio.
TEST_F(CodeplugOverPty, PasswordChallenge) {
    scenario.codeplug.password = "2468";
    Start();
    AnswerPrompts(*transfer, {"2468"}, prompts);
    ASSERT_GT(Download(Bytes(128, 9)), 0);
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(transfer->DownloadComplete());
    EXPECT_EQ(CodeplugReport()["grants"], 1);
}

TEST_F(CodeplugOverPty, UnexpectedMessagesEndTheTransfer) {
    scenario.codeplug.image = RecordChain({200});
    scenario.codeplug.otherGroupAtBlock = 2;
    Start();
    EXPECT_EQ(transfer->Upload(), -1);
    EXPECT_GT(Download(Bytes(1024, 1)), 0) << "a download ends positive";
    EXPECT_FALSE(transfer->DownloadComplete());
    EXPECT_EQ(transfer->LastDownload().blocksSent, 2);
}

TEST_F(CodeplugOverPty, SilentRadioTimesOut) {
    scenario.codeplug.image = RecordChain({200});
    scenario.codeplug.silentAtBlock = 1;
    Start();
    EXPECT_EQ(transfer->Upload(), -1);
    EXPECT_FALSE(link->IsEnabled());
}

}  // namespace
