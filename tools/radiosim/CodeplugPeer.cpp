#include "CodeplugPeer.h"

#include <algorithm>

#include "CodeplugGenerator.h"
#include "common/Hex.h"
#include "convert/RadioCodeplugConversion.h"
#include "link/Protocol.h"
#include "transfer/PasswordDigits.h"
#include "transfer/TransferMessages.h"

using namespace transfer_msg;

namespace {

constexpr int kBlock = kTransferBlockBytes;

CodeplugPeer::Bytes generated(const CodeplugScenario& s) {
    CodeplugImage img;
    CodeplugGeneratorOptions options;
    options.versionIndex = static_cast<std::uint8_t>(s.generateFormat);
    options.seed = s.generateSeed;
    const int words = generateCodeplug(img, options);
    CodeplugPeer::Bytes bytes(static_cast<std::size_t>(words) * 2);
    storeRadioBytes(img, bytes.data(), bytes.size());
    return bytes;
}

std::string hex(const CodeplugPeer::Bytes& bytes) {
    return ::HexText(bytes.data(), bytes.size());
}

}  // namespace

CodeplugPeer::CodeplugPeer(const CodeplugScenario& scenario, const Bytes& serialNumber)
    : scenario_(scenario) {
    std::copy_n(serialNumber.begin(), std::min(serialNumber.size(), accessCode_.size()),
                accessCode_.begin());
    codeplug_ = scenario_.image.empty() ? generated(scenario_) : scenario_.image;
}

void CodeplugPeer::Challenge(std::vector<Bytes>& out) {
    if (scenario_.password.empty()) {
        Grant(out);
        return;
    }
    mode_ = Mode::kChallenge;
    ++passwordRequests_;
    out.push_back({kGroup, PasswordRequest});
}

void CodeplugPeer::Grant(std::vector<Bytes>& out) {
    ++grants_;
    out.push_back({kGroup, AccessGranted});
    mode_ = transfer_;
    if (mode_ == Mode::kUpload) {
        ServeBlock(out);
    } else {
        out.push_back({kGroup, NextBlock});
    }
}

void CodeplugPeer::ServeBlock(std::vector<Bytes>& out) {
    if (blocksServed_ == scenario_.silentAtBlock) {
        silent_ = true;
        return;
    }
    if (blocksServed_ == scenario_.otherGroupAtBlock) {
        ++blocksServed_;
        out.push_back({0x04, 0x02, 0x00});
        return;
    }
    Bytes payload = {kGroup, DataBlock};
    const std::size_t from = static_cast<std::size_t>(blocksServed_) * kBlock;
    for (std::size_t i = from; i < from + kBlock; ++i)
        payload.push_back(i < codeplug_.size() ? codeplug_[i] : 0);
    ++blocksServed_;
    out.push_back(std::move(payload));
}

void CodeplugPeer::TakeBlock(const std::uint8_t* data, int length, std::vector<Bytes>& out) {
    if (length != kBlock)
        violations_.push_back("data block of " + std::to_string(length) + " bytes");
    OfbCipher::Block block{};
    std::copy_n(data, std::min(length, kBlock), block.begin());
    cipher_.UnscrambleBlock(block);
    if (written_.size() + kBlock <= static_cast<std::size_t>(kTransferImageBytes)) {
        written_.insert(written_.end(), block.begin(), block.end());
    } else {
        violations_.push_back("more than 32768 bytes written");
    }
    sum_ = static_cast<std::uint16_t>(sum_ + WordChecksum(block.data(), kBlock));
    const int index = blocksReceived_++;
    if (index + 1 == scenario_.silentAtBlock) {
        silent_ = true;
        return;
    }
    if (index + 1 == scenario_.otherGroupAtBlock) {
        out.push_back({0x04, 0x02, 0x00});
        return;
    }
    if (scenario_.reportEvery > 0 && ++blocksSinceReport_ >= scenario_.reportEvery) {
        std::uint16_t report = sum_;
        if (sumReports_ == scenario_.wrongSumAtReport)
            ++report;
        ++sumReports_;
        sum_ = 0;
        blocksSinceReport_ = 0;
        out.push_back({kGroup, BlockSumReport, static_cast<std::uint8_t>(report >> 8),
                       static_cast<std::uint8_t>(report & 0xFF)});
        return;
    }
    out.push_back({kGroup, NextBlock});
}

std::vector<CodeplugPeer::Bytes> CodeplugPeer::Handle(const std::uint8_t* p, int length) {
    std::vector<Bytes> out;
    if (length < 2 || silent_)
        return out;
    switch (p[1]) {
        case UploadRequest:
            ++uploads_;
            transfer_ = Mode::kUpload;
            blocksServed_ = 0;
            Challenge(out);
            break;
        case DownloadRequest:
            ++downloads_;
            transfer_ = Mode::kDownload;
            written_.clear();
            blocksReceived_ = 0;
            blocksSinceReport_ = 0;
            sum_ = 0;
            cipher_.InitKeystream(kDownloadKey, accessCode_);
            Challenge(out);
            break;
        case PasswordReply: {
            ++passwordReplies_;
            if (mode_ != Mode::kChallenge || length != 6) {
                violations_.push_back("unexpected password reply");
                break;
            }
            const auto expected = PackPasswordDigits(scenario_.password);
            if (!scenario_.refusePassword && std::equal(expected.begin(), expected.end(), p + 2)) {
                Grant(out);
            } else {
                ++passwordRequests_;
                out.push_back({kGroup, PasswordRequest});
            }
            break;
        }
        case NextBlock:
            if (mode_ == Mode::kUpload) {
                ServeBlock(out);
            } else {
                violations_.push_back("next-block request outside an upload");
            }
            break;
        case DataBlock:
            if (mode_ == Mode::kDownload) {
                TakeBlock(p + 2, length - 2, out);
            } else {
                violations_.push_back("data block outside a download");
            }
            break;
        case BlockSumGood:
        case BlockSumBad:
            sumAnswers_.push_back(p[1]);
            if (mode_ == Mode::kDownload)
                out.push_back({kGroup, NextBlock});
            break;
        case TransferEnd:
            if (mode_ == Mode::kDownload) {
                ++completedDownloads_;
                if (written_.size() % (2 * kBlock) != 0)
                    violations_.push_back("download ended after an odd number of blocks");
                codeplug_ = written_;
                const auto wrong = static_cast<std::size_t>(scenario_.wrongWordAt) * 2 + 1;
                if (scenario_.wrongWordAt >= 0 && !wrongWordStored_ && wrong < codeplug_.size()) {
                    codeplug_[wrong] ^= 0x01;
                    wrongWordStored_ = true;
                }
            }
            mode_ = Mode::kIdle;
            break;
        default:
            violations_.push_back("unknown codeplug command " + std::to_string(p[1]));
            break;
    }
    return out;
}

nlohmann::json CodeplugPeer::Report() const {
    return {{"uploads", uploads_},
            {"downloads", downloads_},
            {"completedDownloads", completedDownloads_},
            {"blocksServed", blocksServed_},
            {"blocksReceived", blocksReceived_},
            {"passwordRequests", passwordRequests_},
            {"passwordReplies", passwordReplies_},
            {"grants", grants_},
            {"sumReports", sumReports_},
            {"sumAnswers", sumAnswers_},
            {"written", hex(written_)},
            {"violations", violations_}};
}
