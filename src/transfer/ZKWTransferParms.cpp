#include "transfer/ZKWTransferParms.h"

#include <algorithm>
#include <cstring>

#include "link/Protocol.h"
#include "link/RadioLink.h"
#include "transfer/TransferMessages.h"

using namespace transfer_msg;

namespace {

constexpr std::uint8_t kRecordMarker = 0x5F;
constexpr std::uint8_t kFillByte = 0x20;

}  // namespace

void ZKWTransferParms::SetLink(RadioLink* l) {
    link = l;
    passChecker.SetLink(l);
}

void ZKWTransferParms::SetAccessCode(const std::string& text) {
    accessCode = AccessCodeRegister(text);
}

// Applied after each received block: examines at most one record header, the first block's
// or the next one the walk expects, and reports complete at the first position that does not
// start a record. Bytes not yet received (or past the buffer) read as zero.
bool ZKWTransferParms::ImageComplete() {
    int position = -1;
    if (size == kTransferBlockBytes) {
        position = 0;
    } else if (size > nextRecord) {
        position = nextRecord;
    }
    if (size > kTransferImageBytes) {
        nextRecord = 0;
        return true;
    }
    if (position < 0)
        return false;
    auto byteAt = [&](int i) -> int { return i < kTransferImageBytes ? image[i] : 0; };
    if (byteAt(position) == kRecordMarker && byteAt(position + 1) == kRecordMarker) {
        const int length = ((byteAt(position + 2) << 8) | byteAt(position + 3)) & 0x3FFF;
        nextRecord += 2 * length;
        return false;
    }
    nextRecord = 0;
    return true;
}

int ZKWTransferParms::Upload() {
    link->SetEnabled(true);
    int result = link->SendCode2(kGroup, UploadRequest, nullptr, 0);
    if (result > 0)
        result = passChecker.Run();
    if (result > 0) {
        size = 0;
        nextRecord = 0;
        for (;;) {
            MessageRecord reply;
            const int received = link->Receive(reply) ? 1 : -1;  // the transfer's 1 or -1
            if (received <= 0) {
                result = received;
                break;
            }
            if (reply.length < 1 || reply.buffer[0] != kGroup) {
                result = -1;
                break;
            }
            const int code = reply.length >= 2 ? reply.buffer[1] : -1;
            if (code == NextBlock)
                continue;
            if (code != DataBlock) {
                result = -1;
                break;
            }
            // A short block is stored as far as it goes; the rest of the block reads as zero
            // rather than as whatever an earlier message left in the reply buffer.
            const int data = std::clamp(reply.length - 2, 0, kTransferBlockBytes);
            std::memcpy(image + size, reply.buffer + 2, static_cast<std::size_t>(data));
            std::memset(image + size + data, 0,
                        static_cast<std::size_t>(kTransferBlockBytes - data));
            size += kTransferBlockBytes;
            // A full buffer ends the upload before a block that would not fit is asked for.
            if (ImageComplete() || size >= kTransferImageBytes) {
                result = link->SendCode2(kGroup, TransferEnd, nullptr, 0);
                break;
            }
            result = link->SendCode2(kGroup, NextBlock, nullptr, 0);
            if (result <= 0)
                break;
        }
    }
    link->SetEnabled(false);
    return result;
}

int ZKWTransferParms::Download() {
    report_ = {};
    size = std::clamp<std::int32_t>(size, 0, kTransferImageBytes);
    std::fill(image + size, image + kTransferImageBytes, kFillByte);
    const int blocks = (size + kTransferBlockBytes - 1) / kTransferBlockBytes;
    report_.blocksNeeded = blocks + blocks % 2;

    link->SetEnabled(true);
    keystream_.InitKeystream(kDownloadKey, accessCode);
    int result = link->SendCode2(kGroup, DownloadRequest, nullptr, 0);
    if (result > 0)
        result = passChecker.Run();
    if (result > 0) {
        int n = 0;
        blockSum = 0;
        for (;;) {
            MessageRecord reply;
            const int received = link->Receive(reply) ? 1 : -1;  // the transfer's 1 or -1
            if (received <= 0 || reply.length < 2 || reply.buffer[0] != kGroup) {
                result = received;
                break;
            }
            const std::uint8_t code = reply.buffer[1];
            if (code == BlockSumReport) {
                const std::uint16_t reported =
                    static_cast<std::uint16_t>((reply.buffer[2] << 8) | reply.buffer[3]);
                const bool good = reported == blockSum;
                ++report_.sumReports;
                if (!good)
                    ++report_.sumMismatches;
                result = link->SendCode2(kGroup, good ? BlockSumGood : BlockSumBad, nullptr, 0);
                if (result <= 0)
                    break;
                blockSum = 0;
            } else if (code == NextBlock) {
                const int offset = n * kTransferBlockBytes;
                if ((offset >= size && n % 2 == 0) || offset >= kTransferImageBytes) {
                    result = link->SendCode2(kGroup, TransferEnd, nullptr, 0);
                    report_.endSent = result > 0;
                    break;
                }
                OfbCipher::Block block;
                std::memcpy(block.data(), image + offset, block.size());
                blockSum = static_cast<std::uint16_t>(
                    blockSum + WordChecksum(block.data(), kTransferBlockBytes));
                keystream_.ScrambleBlock(block);
                result = link->SendCode2(kGroup, DataBlock, block.data(), kTransferBlockBytes);
                if (result <= 0)
                    break;
                ++n;
                report_.blocksSent = n;
            } else {
                result = received;
                break;
            }
        }
    }
    link->SetEnabled(false);
    return result;
}
