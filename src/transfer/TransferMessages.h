#pragma once

#include <cstdint>

// The messages of the codeplug transfer: command group 3, then one of these codes.
namespace transfer_msg {

constexpr std::uint8_t kGroup = 3;

constexpr std::uint8_t DownloadRequest = 0;
constexpr std::uint8_t DataBlock = 2;
constexpr std::uint8_t BlockSumReport = 3;
constexpr std::uint8_t TransferEnd = 4;
constexpr std::uint8_t BlockSumGood = 5;
constexpr std::uint8_t BlockSumBad = 6;
constexpr std::uint8_t UploadRequest = 7;
constexpr std::uint8_t NextBlock = 8;
constexpr std::uint8_t PasswordRequest = 11;
constexpr std::uint8_t PasswordReply = 12;
constexpr std::uint8_t AccessGranted = 13;
constexpr std::uint8_t AccessGrantedToo = 14;

}  // namespace transfer_msg

// The codeplug travels in blocks of this size; the whole image buffer holds 256 of them.
constexpr int kTransferBlockBytes = 128;
constexpr int kTransferImageBytes = 32768;
