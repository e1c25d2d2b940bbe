#pragma once

#include <cstdint>

#include "download/ProgressBar.h"
#include "download/SRecordReader.h"
#include "link/LinkTypes.h"
#include "link/Platform.h"
#include "link/RadioLink.h"

// The block transfer shared by the flash and the DSP downloads: 16-bit words are packed low
// byte first into data blocks (02 09 and 128 data bytes); the radio acknowledges each block and
// returns a 16-bit sum over each pair of blocks, which the tool confirms (02 05) or rejects
// (02 06). Every operation does nothing once status is no longer success.
class BlockTransfer {
  public:
    // How the two downloads differ.
    struct Rules {
        std::uint16_t filler;  // word that completes the last block pair
        // Component transport: a busy reply to the sum wait sends the block again (no limit).
        bool repeatBusy;
        // After the second block: a 02 0A reply with four data bytes is a verify failure, and
        // after a rejected sum the block is sent again after each acknowledgement.
        bool verifyAndResend;
    };
    static constexpr Rules kCodeRules{0xFFFF, true, true};
    static constexpr Rules kDspRules{0x2020, false, false};

    // Payload length of a data block: the code 02 09 and 128 data bytes.
    static constexpr int kBlockLength = 130;
    static constexpr int kBlockDataStart = 2;
    // Progress counted per block sent.
    static constexpr int kProgressPerBlock = 64;
    // How often a block whose pair sum was rejected is sent again before giving up.
    static constexpr int kMaxBlockResends = 3;

    BlockTransfer(RadioLink& link, ProgressBar& progressBar, const StatusSink& statusSink,
                  Rules rules)
        : link_(link), progressBar_(progressBar), statusSink_(statusSink), rules_(rules) {}

    // Back to the state before an image: success, no progress, a fresh pair and block.
    void Restart();
    // A fresh pair (zero sum, first half) and an empty block.
    void ResetPair();
    void ResetBlock();

    // Sends the block if it is full, then stores the word (low byte first) and adds it to the
    // pair sum. A full block is therefore sent only when the next word arrives or on a flush.
    void AppendWord(std::uint16_t word);
    // Sends a full block and runs its acknowledgement (and, for a second block, the pair sum).
    void SendBlockIfFull();
    // Fills and sends the last block with filler words, and one more block of filler when that
    // was the first of a pair, so the data always ends on a complete pair.
    void FlushBlocks();
    // Streams every word of the image into blocks, advancing progress by each record's weight,
    // then flushes the last pair. Stops at the first failure.
    void SendImage(SRecordReader& reader);

    LinkResult status = LinkResult::kSuccess;
    int progress = 0;

    // True when status became 4 because the resends of a rejected pair ran out.
    bool ResendsExhausted() const { return resendsExhausted_; }
    bool SecondHalf() const { return secondHalf_; }
    std::uint16_t PairSum() const { return pairSum_; }

  private:
    void AwaitPairSum(bool& mismatch);
    void AwaitAcknowledgement(bool mismatch);
    void ReportVerifyFailure(const MessageRecord& reply);

    RadioLink& link_;
    ProgressBar& progressBar_;
    const StatusSink& statusSink_;
    Rules rules_;
    MessageRecord block_;
    int fill_ = kBlockDataStart;
    std::uint16_t pairSum_ = 0;
    bool secondHalf_ = false;
    bool resendsExhausted_ = false;
};

// A record holding the code of command id, as the waits compare it.
MessageRecord CommandCode(std::int32_t id);
