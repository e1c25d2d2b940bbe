#include "download/BlockTransfer.h"

#include <cstdio>
#include <string>

#include "download/DownloadTexts.h"
#include "link/CommandTable.h"

namespace {

// Reply lengths, code included.
constexpr int kAckLength = 2;         // 02 07
constexpr int kBusyLength = 2;        // 02 0A
constexpr int kPairSumLength = 4;     // 02 02 and the sum, high byte first
constexpr int kVerifyFailLength = 6;  // 02 0A and four address bytes

}  // namespace

MessageRecord CommandCode(std::int32_t id) {
    MessageRecord record;
    MakeCommand(record, id, true);
    return record;
}

void BlockTransfer::Restart() {
    status = LinkResult::kSuccess;
    progress = 0;
    resendsExhausted_ = false;
    ResetPair();
    ResetBlock();
}

void BlockTransfer::ResetPair() {
    pairSum_ = 0;
    secondHalf_ = false;
}

void BlockTransfer::ResetBlock() {
    block_ = MessageRecord{};
    MakeCommand(block_, kCmdDataBlock, true);
    block_.length = ReplyLength(kCmdDataBlock, true);
    fill_ = kBlockDataStart;
}

void BlockTransfer::AppendWord(std::uint16_t word) {
    SendBlockIfFull();
    if (status != LinkResult::kSuccess)
        return;
    block_.buffer[fill_] = static_cast<std::uint8_t>(word & 0xFF);
    block_.buffer[fill_ + 1] = static_cast<std::uint8_t>(word >> 8);
    fill_ += 2;
    pairSum_ = static_cast<std::uint16_t>(pairSum_ + word);
}

void BlockTransfer::SendBlockIfFull() {
    if (status != LinkResult::kSuccess || fill_ < kBlockLength)
        return;
    link_.Send(block_);
    bool mismatch = false;
    if (secondHalf_) {
        AwaitPairSum(mismatch);
        if (status != LinkResult::kSuccess)
            return;
    }
    AwaitAcknowledgement(mismatch);
    if (status != LinkResult::kSuccess)
        return;
    if (secondHalf_) {
        secondHalf_ = false;
        pairSum_ = 0;
    } else {
        secondHalf_ = true;
    }
    ResetBlock();
    progress += kProgressPerBlock;
    progressBar_.SetPosition(progress);
}

void BlockTransfer::AwaitPairSum(bool& mismatch) {
    const MessageRecord expected = CommandCode(kCmdBlockPairChecksum);
    const MessageRecord busy = CommandCode(kCmdDownloadBusy);
    bool gotBusy = false;
    const std::int64_t since = link_.NowMilliseconds();
    MessageRecord reply = link_.AwaitReply(expected, kPairSumLength, busy, kBusyLength, gotBusy);
    while (rules_.repeatBusy && link_.RepeatsBusyReplies() && gotBusy && link_.IsEnabled() &&
           link_.BusyRepeatAllowed(since)) {
        link_.Send(block_);
        reply = link_.AwaitReply(expected, kPairSumLength, busy, kBusyLength, gotBusy);
    }
    status = link_.Outcome();
    if (status != LinkResult::kSuccess)
        return;
    // A busy reply (taken as an answer on the device transport) carries no sum; the pair is
    // then never confirmed from bytes the radio did not send.
    const bool haveSum = !gotBusy && reply.length >= kPairSumLength;
    const std::uint16_t radioSum =
        haveSum ? static_cast<std::uint16_t>(reply.buffer[2] * 256 + reply.buffer[3]) : 0;
    mismatch = !haveSum || radioSum != pairSum_;
    MessageRecord verdict = CommandCode(mismatch ? kCmdChecksumDiffers : kCmdChecksumMatches);
    link_.Send(verdict);
}

void BlockTransfer::AwaitAcknowledgement(bool mismatch) {
    const MessageRecord expected = CommandCode(kCmdReady);
    const MessageRecord alternate = CommandCode(kCmdDownloadBusy);
    if (!rules_.verifyAndResend) {
        bool gotAlternate = false;
        link_.AwaitReply(expected, kAckLength, alternate, kBusyLength, gotAlternate);
        status = link_.Outcome();
        return;
    }
    int resends = 0;
    for (;;) {
        bool gotAlternate = false;
        const MessageRecord reply =
            link_.AwaitReply(expected, kAckLength, alternate, kVerifyFailLength, gotAlternate);
        status = link_.Outcome();
        // A verify failure is recognised only as the answer to the second block of a pair.
        if (status != LinkResult::kSuccess || !secondHalf_)
            return;
        if (gotAlternate) {
            ReportVerifyFailure(reply);
            status = LinkResult::kVerifyFailure;
            return;
        }
        if (!mismatch)
            return;
        link_.Send(block_);
        if (++resends > kMaxBlockResends) {
            status = LinkResult::kTimedOut;
            resendsExhausted_ = true;
            return;
        }
    }
}

void BlockTransfer::ReportVerifyFailure(const MessageRecord& reply) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%02X%02X%02X%02X", reply.buffer[2], reply.buffer[3],
                  reply.buffer[4], reply.buffer[5]);
    if (statusSink_)
        statusSink_(std::string(dltext::kVerifyFailedPrefix) + digits);
}

void BlockTransfer::FlushBlocks() {
    while (status == LinkResult::kSuccess && fill_ < kBlockLength)
        AppendWord(rules_.filler);
    SendBlockIfFull();
    if (status != LinkResult::kSuccess || !secondHalf_)
        return;
    while (status == LinkResult::kSuccess && fill_ < kBlockLength)
        AppendWord(rules_.filler);
    SendBlockIfFull();
}

void BlockTransfer::SendImage(SRecordReader& reader) {
    int weight = 0;
    while (status == LinkResult::kSuccess && reader.NextRecord(weight)) {
        progress += weight;
        std::uint16_t word = 0;
        while (status == LinkResult::kSuccess && reader.NextWord(word))
            AppendWord(word);
    }
    if (status == LinkResult::kSuccess)
        FlushBlocks();
}
