// Checks the in-house DES and keystream against a second, independent implementation:
// OpenSSL's libcrypto (its single-DES routines, which need no provider in OpenSSL 3).
#include <openssl/des.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "ScrambleCheck.h"
#include "transfer/Des.h"
#include "transfer/OfbCipher.h"

namespace {

struct OpenSslDes {
    explicit OpenSslDes(std::uint64_t key) {
        DES_cblock block;
        const auto bytes = DesBlockToBytes(key);
        std::memcpy(block, bytes.data(), sizeof block);
        DES_set_key_unchecked(&block, &schedule);  // ignores parity, accepts weak keys
    }

    std::uint64_t Crypt(std::uint64_t in, bool encrypt) {
        const auto bytes = DesBlockToBytes(in);
        DES_cblock input;
        DES_cblock output;
        std::memcpy(input, bytes.data(), sizeof input);
        DES_ecb_encrypt(&input, &output, &schedule, encrypt ? DES_ENCRYPT : DES_DECRYPT);
        std::array<std::uint8_t, 8> result{};
        std::memcpy(result.data(), output, result.size());
        return DesBlockFromBytes(result);
    }

    // The 8-bit output feedback keystream: in 8-bit cipher feedback, enciphering zero bytes
    // gives ciphertext bytes equal to the keystream bytes, so the register is fed back exactly
    // as in 8-bit output feedback.
    std::vector<std::uint8_t> Keystream(std::uint64_t reg, std::size_t count) {
        const auto iv = DesBlockToBytes(reg);
        DES_cblock ivec;
        std::memcpy(ivec, iv.data(), sizeof ivec);
        const std::vector<std::uint8_t> zeros(count, 0);
        std::vector<std::uint8_t> out(count, 0);
        DES_cfb_encrypt(zeros.data(), out.data(), 8, static_cast<long>(count), &schedule, &ivec,
                        DES_ENCRYPT);
        return out;
    }

    DES_key_schedule schedule{};
};

}  // namespace

TEST(DesAgainstOpenSsl, RandomKeysAndBlocks) {
    std::mt19937_64 rng(0x5155454E5441ULL);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t key = rng();
        const std::uint64_t plain = rng();
        OpenSslDes reference(key);
        const DesKeySchedule schedule = MakeDesKeySchedule(key);
        const std::uint64_t cipher = DesEncrypt(schedule, plain);
        ASSERT_EQ(cipher, reference.Crypt(plain, true))
            << std::hex << "key " << key << " plain " << plain;
        ASSERT_EQ(DesDecrypt(schedule, plain), reference.Crypt(plain, false))
            << std::hex << "key " << key << " block " << plain;
        ASSERT_EQ(DesDecrypt(schedule, cipher), plain);
    }
}

TEST(DesAgainstOpenSsl, KeystreamForRandomKeysAndRegisters) {
    std::mt19937_64 rng(81);
    for (int i = 0; i < 300; ++i) {
        const std::uint64_t key = rng();
        const std::uint64_t reg = rng();
        OfbCipher cipher;
        cipher.InitKeystream(DesBlockToBytes(key), DesBlockToBytes(reg));
        const std::vector<std::uint8_t> expected = OpenSslDes(key).Keystream(reg, 100);
        for (std::size_t n = 0; n < expected.size(); ++n) {
            ASSERT_EQ(cipher.NextKeystreamByte(), expected[n]) << "case " << i << " byte " << n;
        }
    }
}

TEST(DesAgainstOpenSsl, WholeDownloadScrambling) {
    // A 32768-byte image: 256 blocks, 512 keystream bytes from the download key and an access
    // code.
    const OfbCipher::Register access = AccessCodeRegister("00A1B2C3D4E5F607");
    const std::vector<std::uint8_t> stream =
        OpenSslDes(DesBlockFromBytes(kDownloadKey)).Keystream(DesBlockFromBytes(access), 512);
    OfbCipher cipher;
    cipher.InitKeystream(kDownloadKey, access);
    std::mt19937 rng(5);
    for (std::size_t n = 0; n < 256; ++n) {
        OfbCipher::Block plain{};
        for (auto& byte : plain) {
            byte = static_cast<std::uint8_t>(rng());
        }
        OfbCipher::Block block = plain;
        cipher.ScrambleBlock(block);
        ASSERT_TRUE(IsScrambled(plain, block, stream[2 * n], stream[2 * n + 1])) << "block " << n;
    }
}
