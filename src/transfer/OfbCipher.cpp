#include "transfer/OfbCipher.h"

#include "common/Hex.h"

void OfbCipher::InitKeystream(const Key& key, const Register& initialRegister) noexcept {
    schedule_ = MakeDesKeySchedule(DesBlockFromBytes(key));
    register_ = DesBlockFromBytes(initialRegister);
}

std::uint8_t OfbCipher::NextKeystreamByte() noexcept {
    const auto output = static_cast<std::uint8_t>(DesEncrypt(schedule_, register_) >> 56);
    register_ = (register_ << 8) | output;
    return output;
}

void OfbCipher::ScrambleBlock(Block& block) noexcept {
    const std::uint8_t b0 = block[0];
    const std::uint8_t b1 = block[1];
    block[0] = static_cast<std::uint8_t>(b1 ^ NextKeystreamByte());
    block[1] = static_cast<std::uint8_t>(b0 ^ NextKeystreamByte());
    for (std::size_t i = 2; i < kBlockBytes; i += 2) {
        const std::uint8_t x = block[i];
        const std::uint8_t y = block[i + 1];
        block[i] = static_cast<std::uint8_t>(y ^ block[0]);
        block[i + 1] = static_cast<std::uint8_t>(x ^ block[1]);
    }
}

void OfbCipher::UnscrambleBlock(Block& block) noexcept {
    const std::uint8_t s0 = block[0];
    const std::uint8_t s1 = block[1];
    for (std::size_t i = 2; i < kBlockBytes; i += 2) {
        const std::uint8_t p = block[i];
        const std::uint8_t q = block[i + 1];
        block[i] = static_cast<std::uint8_t>(q ^ s1);
        block[i + 1] = static_cast<std::uint8_t>(p ^ s0);
    }
    const std::uint8_t k0 = NextKeystreamByte();
    const std::uint8_t k1 = NextKeystreamByte();
    block[0] = static_cast<std::uint8_t>(s1 ^ k1);
    block[1] = static_cast<std::uint8_t>(s0 ^ k0);
}

OfbCipher::Register AccessCodeRegister(std::string_view accessCode) noexcept {
    OfbCipher::Register reg{};
    if (accessCode.size() != 2 * OfbCipher::kRegisterBytes) {
        return reg;
    }
    for (std::size_t i = 0; i < OfbCipher::kRegisterBytes; ++i) {
        const int high = HexDigitValue(accessCode[2 * i]);
        const int low = HexDigitValue(accessCode[2 * i + 1]);
        if (high < 0 || low < 0) {
            return OfbCipher::Register{};
        }
        reg[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return reg;
}
