#pragma once

// A radio's side of the codeplug transfer on the fake line of the link tests: it serves an
// upload from its codeplug, takes a download (descrambling and summing every block), asks for
// a password when told to, and can be made to misbehave.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "LinkTestSupport.h"
#include "link/Protocol.h"
#include "transfer/OfbCipher.h"
#include "transfer/PasswordDigits.h"
#include "transfer/TransferMessages.h"

namespace transfertest {

using linktest::Bytes;

class CodeplugRadioPeer {
  public:
    // Configuration.
    Bytes codeplug;                          // served on upload, block by block, zero-padded
    std::optional<std::string> password;     // asks for it when set
    std::string accessCode;                  // descrambles downloads with this register
    int reportEvery = 2;                     // block-sum report after every n blocks received
    bool wrongSums = false;                  // reports sums off by one
    int silentFromBlock = -1;                // stops answering once this block is due
    std::optional<Bytes> unexpectedAtBlock;  // sends this payload instead of block k (below)
    int unexpectedBlock = -1;
    bool grantWithoutRequest = false;  // answers the request with 0x0E

    // What it saw.
    Bytes received;  // descrambled download
    int blocksServed = 0;
    int passwordReplies = 0;
    std::vector<Bytes> replyDigits;
    std::vector<std::uint8_t> sumAnswers;  // 5 or 6 for each report
    bool ended = false;
    std::vector<Bytes> requests;

    CodeplugRadioPeer(linktest::VirtualPump& pump, linktest::FakeLine& line)
        : pump_(pump), line_(line) {
        rx_.Accept(frame::kAddrRadio);
        line_.onWrite = [this](const Bytes& b) {
            for (std::uint8_t byte : b) {
                if (rx_.Feed(byte) != FrameReceiver::Event::kFrame)
                    continue;
                const MessageRecord& p = rx_.Payload();
                Handle(Bytes(p.buffer, p.buffer + p.length));
            }
        };
    }

  private:
    enum class Mode { kIdle, kUpload, kDownload };

    void Send(const Bytes& payload) {
        if (silent_)
            return;
        pump_.AfterMs(1,
                      [this, payload] { line_.Deliver(linktest::ScriptedRadio::Wire(payload)); });
    }
    void Grant() {
        Send({3, grantWithoutRequest ? std::uint8_t{14} : std::uint8_t{13}});
        if (mode_ == Mode::kUpload) {
            ServeBlock();
        } else {
            Send({3, 8});
        }
    }
    void Challenge() {
        if (password && !grantWithoutRequest) {
            Send({3, 11});
        } else {
            Grant();
        }
    }
    void ServeBlock() {
        if (blocksServed == silentFromBlock)
            silent_ = true;
        if (blocksServed == unexpectedBlock && unexpectedAtBlock) {
            Send(*unexpectedAtBlock);
            ++blocksServed;
            return;
        }
        Bytes payload = {3, 2};
        for (int i = 0; i < 128; ++i) {
            const std::size_t at = static_cast<std::size_t>(blocksServed) * 128 + i;
            payload.push_back(at < codeplug.size() ? codeplug[at] : 0);
        }
        ++blocksServed;
        Send(payload);
    }
    void TakeBlock(const Bytes& p) {
        OfbCipher::Block block{};
        for (std::size_t i = 0; i < block.size() && i + 2 < p.size(); ++i)
            block[i] = p[i + 2];
        cipher_.UnscrambleBlock(block);
        received.insert(received.end(), block.begin(), block.end());
        sum_ = static_cast<std::uint16_t>(sum_ + WordChecksum(block.data(), 128));
        const int blocks = static_cast<int>(received.size() / 128);
        if (blocks == silentFromBlock)
            silent_ = true;
        if (blocks == unexpectedBlock && unexpectedAtBlock) {
            Send(*unexpectedAtBlock);
            return;
        }
        if (reportEvery > 0 && blocks % reportEvery == 0) {
            const std::uint16_t report = static_cast<std::uint16_t>(sum_ + (wrongSums ? 1 : 0));
            sum_ = 0;
            Send({3, 3, static_cast<std::uint8_t>(report >> 8),
                  static_cast<std::uint8_t>(report & 0xFF)});
        } else {
            Send({3, 8});
        }
    }
    void Handle(const Bytes& p) {
        requests.push_back(p);
        if (p.size() < 2 || p[0] != 3)
            return;
        switch (p[1]) {
            case transfer_msg::UploadRequest:
                mode_ = Mode::kUpload;
                Challenge();
                break;
            case transfer_msg::DownloadRequest:
                mode_ = Mode::kDownload;
                received.clear();
                sum_ = 0;
                cipher_.InitKeystream(kDownloadKey, AccessCodeRegister(accessCode));
                Challenge();
                break;
            case transfer_msg::PasswordReply: {
                ++passwordReplies;
                Bytes digits(p.begin() + 2, p.end());
                replyDigits.push_back(digits);
                const auto expected = PackPasswordDigits(*password);
                if (Bytes(expected.begin(), expected.end()) == digits) {
                    Grant();
                } else {
                    Send({3, 11});
                }
                break;
            }
            case transfer_msg::NextBlock:
                if (mode_ == Mode::kUpload)
                    ServeBlock();
                break;
            case transfer_msg::DataBlock:
                if (mode_ == Mode::kDownload)
                    TakeBlock(p);
                break;
            case transfer_msg::BlockSumGood:
            case transfer_msg::BlockSumBad:
                sumAnswers.push_back(p[1]);
                Send({3, 8});
                break;
            case transfer_msg::TransferEnd:
                ended = true;
                mode_ = Mode::kIdle;
                break;
            default:
                break;
        }
    }

    linktest::VirtualPump& pump_;
    linktest::FakeLine& line_;
    FrameReceiver rx_{frame::kAddrRadio};
    Mode mode_ = Mode::kIdle;
    OfbCipher cipher_;
    std::uint16_t sum_ = 0;
    bool silent_ = false;
};

}  // namespace transfertest
