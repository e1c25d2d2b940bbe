#include "transfer/Des.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// Known answers: enciphering gives the cipher block and deciphering it gives the plain one.
TEST(Des, KnownAnswers) {
    const struct {
        std::uint64_t key, plain, cipher;
    } vectors[] = {
        // The worked example found in most DES texts, and the ECB example of FIPS PUB 81
        // ("Now is t" under 0123456789ABCDEF).
        {0x133457799BBCDFF1, 0x0123456789ABCDEF, 0x85E813540F0AB405},
        {0x0E329232EA6D0D73, 0x8787878787878787, 0x0000000000000000},
        {0x0123456789ABCDEF, 0x4E6F772069732074, 0x3FA40E8A984D4815},
        // NIST SP 800-17, variable plaintext test: key 0101010101010101 (all 56 key bits
        // zero), plaintext a single one bit.
        {0x0101010101010101, 0x8000000000000000, 0x95F8A5E5DD31D900},
        {0x0101010101010101, 0x4000000000000000, 0xDD7F121CA5015619},
        {0x0101010101010101, 0x2000000000000000, 0x2E8653104F3834EA},
        {0x0101010101010101, 0x1000000000000000, 0x4BD388FF6CD81D4F},
        {0x0101010101010101, 0x0800000000000000, 0x20B9E767B2FB1456},
        {0x0101010101010101, 0x0400000000000000, 0x55579380D77138EF},
        {0x0101010101010101, 0x0200000000000000, 0x6CC5DEFAAF04512F},
        {0x0101010101010101, 0x0100000000000000, 0x0D9F279BA5D87260},
        {0x0101010101010101, 0x0000000000000001, 0x166B40B44ABA4BD6},
        // Variable key test: plaintext zero, key a single one bit (parity bits set).
        {0x8001010101010101, 0, 0x95A8D72813DAA94D},
        {0x4001010101010101, 0, 0x0EEC1487DD8C26D5},
        {0x2001010101010101, 0, 0x7AD16FFB79C45926},
        {0x1001010101010101, 0, 0xD3746294CA6A6CF3},
        {0x0801010101010101, 0, 0x809F5F873C1FD761},
        {0x0401010101010101, 0, 0xC02FAFFEC989D1FC},
        {0x0201010101010101, 0, 0x4615AA1D33E72F10},
        {0x0180010101010101, 0, 0x2055123350C00858},
        // Permutation operation test: plaintext zero.
        {0x1046913489980131, 0, 0x88D55E54F54C97B4},
        {0x1007103489988020, 0, 0x0C0CC00C83EA48FD},
        // Substitution table test: the 19 key and plaintext pairs that exercise every S-box
        // entry.
        {0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x690F5B0D9A26939B},
        {0x0131D9619DC1376E, 0x5CD54CA83DEF57DA, 0x7A389D10354BD271},
        {0x07A1133E4A0B2686, 0x0248D43806F67172, 0x868EBB51CAB4599A},
        {0x3849674C2602319E, 0x51454B582DDF440A, 0x7178876E01F19B2A},
        {0x04B915BA43FEB5B6, 0x42FD443059577FA2, 0xAF37FB421F8C4095},
        {0x0113B970FD34F2CE, 0x059B5E0851CF143A, 0x86A560F10EC6D85B},
        {0x0170F175468FB5E6, 0x0756D8E0774761D2, 0x0CD3DA020021DC09},
        {0x43297FAD38E373FE, 0x762514B829BF486A, 0xEA676B2CB7DB2B7A},
        {0x07A7137045DA2A16, 0x3BDD119049372802, 0xDFD64A815CAF1A0F},
        {0x04689104C2FD3B2F, 0x26955F6835AF609A, 0x5C513C9C4886C088},
        {0x37D06BB516CB7546, 0x164D5E404F275232, 0x0A2AEEAE3FF4AB77},
        {0x1F08260D1AC2465E, 0x6B056E18759F5CCA, 0xEF1BF03E5DFA575A},
        {0x584023641ABA6176, 0x004BD6EF09176062, 0x88BF0DB6D70DEE56},
        {0x025816164629B007, 0x480D39006EE762F2, 0xA1F9915541020B56},
        {0x49793EBC79B3258F, 0x437540C8698F3CFA, 0x6FBF1CAFCFFD0556},
        {0x4FB05E1515AB73A7, 0x072D43A077075292, 0x2F22E49BAB7CA1AC},
        {0x49E95D6D4CA229BF, 0x02FE55778117F12A, 0x5A6B612CC26CCE4A},
        {0x018310DC409B26D6, 0x1D9D5C5018F728C2, 0x5F4C038ED12B2E41},
        {0x1C587F1C13924FEF, 0x305532286D6F295A, 0x63FAC0D034D9F793},
    };
    for (const auto& v : vectors) {
        const DesKeySchedule schedule = MakeDesKeySchedule(v.key);
        EXPECT_EQ(DesEncrypt(schedule, v.plain), v.cipher)
            << std::hex << "key " << v.key << " plain " << v.plain;
        EXPECT_EQ(DesDecrypt(schedule, v.cipher), v.plain)
            << std::hex << "key " << v.key << " cipher " << v.cipher;
    }
}

// With all key bits zero every round key is zero, so enciphering is its own inverse: the
// inverse permutation test of the same publication enciphers the answers above back to the
// single bits. Checked here for all 64 bits.
TEST(Des, NistInversePermutationForAllSingleBits) {
    const DesKeySchedule schedule = MakeDesKeySchedule(0x0101010101010101);
    for (const std::uint64_t k : schedule.roundKeys) {
        EXPECT_EQ(k, 0u);
    }
    for (int bit = 0; bit < 64; ++bit) {
        const std::uint64_t plain = std::uint64_t{1} << bit;
        const std::uint64_t cipher = DesEncrypt(schedule, plain);
        EXPECT_NE(cipher, plain);
        EXPECT_EQ(DesEncrypt(schedule, cipher), plain) << "bit " << bit;
    }
}

// The 8-bit cipher feedback example ("Now is the time for all ", key 0123456789ABCDEF, initial
// vector 1234567890ABCDEF) exercises the same 8-bit shift of the input register that the 8-bit
// output feedback keystream uses, built here from the block cipher alone.
TEST(Des, EightBitCipherFeedbackExample) {
    const DesKeySchedule schedule = MakeDesKeySchedule(0x0123456789ABCDEF);
    std::uint64_t reg = 0x1234567890ABCDEF;
    const std::string plain = "Now is the time for all ";
    const std::uint8_t expected[24] = {0xF3, 0x1F, 0xDA, 0x07, 0x01, 0x14, 0x62, 0xEE,
                                       0x18, 0x7F, 0x43, 0xD8, 0x0A, 0x7C, 0xD9, 0xB5,
                                       0xB0, 0xD2, 0x90, 0xDA, 0x6E, 0x5B, 0x9A, 0x87};
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(static_cast<std::uint8_t>(plain[i]) ^
                                                 (DesEncrypt(schedule, reg) >> 56));
        EXPECT_EQ(c, expected[i]) << "byte " << i;
        reg = (reg << 8) | c;
    }
}

TEST(Des, ParityBitsAreIgnored) {
    const std::uint64_t key = 0x133457799BBCDFF1;
    const std::uint64_t plain = 0x0123456789ABCDEF;
    const std::uint64_t expected = DesEncrypt(MakeDesKeySchedule(key), plain);
    for (int byte = 0; byte < 8; ++byte) {
        const std::uint64_t flipped = key ^ (std::uint64_t{1} << (8 * byte));
        EXPECT_EQ(DesEncrypt(MakeDesKeySchedule(flipped), plain), expected) << "byte " << byte;
    }
    EXPECT_EQ(DesEncrypt(MakeDesKeySchedule(key ^ 0x0101010101010101), plain), expected);
    // Any other key bit matters.
    EXPECT_NE(DesEncrypt(MakeDesKeySchedule(key ^ 0x0200000000000000), plain), expected);
}

TEST(Des, ComplementationProperty) {
    // E(~k, ~p) = ~E(k, p), a structural property of the standard's design.
    const std::uint64_t key = 0x3849674C2602319E;
    const std::uint64_t plain = 0x51454B582DDF440A;
    EXPECT_EQ(DesEncrypt(MakeDesKeySchedule(~key), ~plain),
              ~DesEncrypt(MakeDesKeySchedule(key), plain));
}
