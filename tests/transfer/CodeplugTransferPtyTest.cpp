// The codeplug transfer over a real pseudo-terminal, through the program's own serial device,
// against the simulated radio.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "AwaitRadio.h"
#include "RadioSim.h"
#include "TempDir.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "convert/CodeplugText.h"
#include "link/RadioLink.h"
#include "serial/PosixSerialOs.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

namespace {

constexpr int kCom = 7;
using Bytes = std::vector<std::uint8_t>;

Bytes recordChain(const std::vector<int>& wordsPerRecord) {
    Bytes bytes;
    for (int words : wordsPerRecord) {
        const std::size_t start = bytes.size();
        bytes.resize(start + 2 * static_cast<std::size_t>(words), 0x3C);
        bytes[start] = 0x5F;
        bytes[start + 1] = 0x5F;
        bytes[start + 2] = static_cast<std::uint8_t>(words >> 8);
        bytes[start + 3] = static_cast<std::uint8_t>(words & 0xFF);
    }
    return bytes;
}

class CodeplugOverPty : public ::testing::Test {
  protected:
    Scenario scenario;
    TempDir ports;
    std::unique_ptr<RadioSim> sim;
    QtMessagePump pump;
    QtIntervalTimer timer;
    std::unique_ptr<RadioLink> link;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kTransferImageBytes, 0);
    std::unique_ptr<ZKWTransferParms> transfer;
    int prompts = 0;

    void Start() {
        sim = std::make_unique<RadioSim>(scenario);
        std::string error;
        ASSERT_TRUE(sim->Open(error, ports.Path(), kCom)) << error;
        sim->Start();
        serial::SystemSerialOs().Resolver().SetPortDirectory(ports.Path());
        link = std::make_unique<RadioLink>(pump);
        link->AttachTimer(timer);
        ASSERT_TRUE(link->OpenDevice(kCom, 19200, false, error)) << error;
        link->SetFramed(true);
        link->SetEnabled(true);
        link->ChangeBaud(115200);
        ASSERT_TRUE(link->PrepareTimeout(kReplyTimeoutMs));
        transfer = std::make_unique<ZKWTransferParms>();
        transfer->SetImage(buffer.data(), 0);
        transfer->SetAccessCode(bytesToText(scenario.serial.data(), scenario.serial.size()));
        transfer->SetLink(link.get());
    }
    void TearDown() override {
        transfer.reset();
        if (link) {
            link->ReleaseTimeout();
            link->Close();
        }
        if (sim) {
            sim->Stop();
            if (HasFailure()) {
                nlohmann::json report = sim->Report();
                report.erase("frames");
                std::cerr << report.dump(1) << "\n";
            }
        }
    }
    nlohmann::json CodeplugReport() { return sim->Report()["codeplug"]; }
    // The transfer's last frame gets no reply: waits until the radio has counted it.
    bool WaitForRadio(const char* counter, int value) {
        return simtest::AwaitRadio(*sim, pump, [&] { return CodeplugReport()[counter] >= value; });
    }

    void Answer(std::vector<std::string> passwords) {
        transfer->passChecker.askPassword = [this, passwords](std::string& text) {
            if (prompts >= static_cast<int>(passwords.size()))
                return false;
            text = passwords[static_cast<std::size_t>(prompts++)];
            return true;
        };
    }
    int Download(const Bytes& image) {
        std::copy(image.begin(), image.end(), buffer.begin());
        transfer->SetSize(static_cast<std::int32_t>(image.size()));
        transfer->SetImage(buffer.data(), static_cast<std::int32_t>(image.size()));
        return transfer->Download();
    }
};

TEST_F(CodeplugOverPty, UploadsFollowTheRecordChain) {
    struct Case {
        Bytes codeplug;
        int size;
    };
    for (const Case& c : {Case{recordChain({60, 80, 10}), 4 * 128},  // ends inside block 3
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
        sim.reset();
        link.reset();
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
        sim.reset();
        link.reset();
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
    Answer({"2468"});
    ASSERT_GT(Download(Bytes(128, 9)), 0);
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(transfer->DownloadComplete());
    EXPECT_EQ(CodeplugReport()["grants"], 1);
}

TEST_F(CodeplugOverPty, UnexpectedMessagesEndTheTransfer) {
    scenario.codeplug.image = recordChain({200});
    scenario.codeplug.otherGroupAtBlock = 2;
    Start();
    EXPECT_EQ(transfer->Upload(), -1);
    EXPECT_GT(Download(Bytes(1024, 1)), 0) << "a download ends positive";
    EXPECT_FALSE(transfer->DownloadComplete());
    EXPECT_EQ(transfer->LastDownload().blocksSent, 2);
}

TEST_F(CodeplugOverPty, SilentRadioTimesOut) {
    scenario.codeplug.image = recordChain({200});
    scenario.codeplug.silentAtBlock = 1;
    Start();
    EXPECT_EQ(transfer->Upload(), -1);
    EXPECT_FALSE(link->IsEnabled());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
