#include <gtest/gtest.h>

#include "Scenario.h"

namespace {

TEST(Scenario, EmptyObjectGivesTheDefaults) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(Scenario::FromJson("{}", s, error)) << error;
    EXPECT_TRUE(s.bootPresent);
    EXPECT_TRUE(s.semPresent);
    EXPECT_FALSE(s.interfaceBox);
    EXPECT_EQ(s.baud, 19200);
    EXPECT_EQ(s.serial.size(), 8u);
    EXPECT_FALSE(s.lineRate);
    EXPECT_EQ(s.turnaroundUs, 0);
}

TEST(Scenario, ParsesEveryKey) {
    const char* text = R"({
        "fileFormat": [5, 9], "dsp": [9, 8, 7], "controller": [2, 0, 1],
        "hardware": [1, 1, 1], "serial": [1, 2, 3, 4, 5, 6, 7, 8],
        "boot": {"present": true, "version": [4, 2], "busy": 3},
        "sem": {"present": false},
        "interfaceBox": {"present": true, "data": [9, 9, 9, 9]},
        "baud": 115200, "replyDelayMs": 7,
        "busy": {"04 0B": 2},
        "unprompted0725": ["04 3E"],
        "faults": [{"command": "04 1C", "kind": "badChecksum"},
                   {"command": "04 07", "kind": "silence", "times": 2}],
        "silentFrom": "04 04",
        "lineFault": {"kind": "hangUp", "atFrame": 40},
        "lineRate": true, "turnaroundUs": 300,
        "comment": "anything"
    })";
    Scenario s;
    std::string error;
    ASSERT_TRUE(Scenario::FromJson(text, s, error)) << error;
    EXPECT_EQ(s.fileFormat, (Scenario::Bytes{5, 9}));
    EXPECT_EQ(s.boot, (Scenario::Bytes{4, 2}));
    EXPECT_EQ(s.bootBusy, 3);
    EXPECT_FALSE(s.semPresent);
    EXPECT_TRUE(s.interfaceBox);
    EXPECT_EQ(s.boxData, (Scenario::Bytes{9, 9, 9, 9}));
    EXPECT_EQ(s.baud, 115200);
    EXPECT_EQ(s.replyDelayMs, 7);
    EXPECT_EQ(s.busy.at(0x040B), 2);
    EXPECT_EQ(s.unprompted0725, std::vector<int>{0x043E});
    ASSERT_EQ(s.faults.size(), 2u);
    EXPECT_EQ(s.faults[0].kind, Scenario::Fault::Kind::kBadChecksum);
    EXPECT_TRUE(s.faults[0].thenReply);
    EXPECT_EQ(s.faults[1].times, 2);
    EXPECT_FALSE(s.faults[1].thenReply);
    EXPECT_EQ(s.silentFrom, 0x0404);
    EXPECT_EQ(s.lineFault.kind, Scenario::LineFault::Kind::kHangUp);
    EXPECT_EQ(s.lineFault.atFrame, 40);
    EXPECT_TRUE(s.lineRate);
    EXPECT_EQ(s.turnaroundUs, 300);
}

TEST(Scenario, RejectsMistakes) {
    const char* bad[] = {
        R"({"bootVersion": [1, 2]})",                 // unknown key
        R"({"dsp": [1, 2]})",                         // wrong size
        R"({"serial": [1, 2, 3, 4, 5, 6, 7, 256]})",  // not a byte
        R"({"silentFrom": "4 1C x"})",                // not a code
        R"({"faults": [{"command": "04 1C", "kind": "loud"}]})",
        R"({"busy": {"zz": 1}})",
        R"({"lineFault": {"kind": "loud", "atFrame": 3}})",
        // Timing no line has: each would hang or overflow the radio's pacing.
        R"({"baud": 0})",
        R"({"baud": -9600})",
        R"({"baud": 1e30})",
        R"({"baud": 9600.5})",
        R"({"replyDelayMs": 1e300})",
        R"({"turnaroundUs": -1})",
        R"({"flash": {"eraseMs": 1e300}})",
        "{",
    };
    for (const char* text : bad) {
        Scenario s;
        std::string error;
        EXPECT_FALSE(Scenario::FromJson(text, s, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    // The message names the key.
    Scenario s;
    std::string error;
    EXPECT_FALSE(Scenario::FromJson(R"({"turnaroundUs": -1})", s, error));
    EXPECT_NE(error.find("turnaroundUs"), std::string::npos);
}

TEST(Scenario, FlashSettingsAndFaults) {
    const char* text = R"({"flash": {"processor": 8, "eraseMs": 250, "restartMs": 900,
        "fault": {"image": 0, "busyStart": 1, "busyPair": 2, "wrongSumAtPair": 3,
                  "verifyFailAtPair": 4, "verifyFailAddress": "FE040100",
                  "silentFromBlock": 5, "hangUp": true}}})";
    Scenario s;
    std::string error;
    ASSERT_TRUE(Scenario::FromJson(text, s, error)) << error;
    EXPECT_EQ(s.flash.processorByte, 8);
    EXPECT_EQ(s.flash.eraseMs, 250);
    EXPECT_EQ(s.flash.restartMs, 900);
    EXPECT_EQ(s.flashFaults.image, 0);
    EXPECT_EQ(s.flashFaults.busyStartReplies, 1);
    EXPECT_EQ(s.flashFaults.busyPairReplies, 2);
    EXPECT_EQ(s.flashFaults.wrongSumAtPair, 3);
    EXPECT_EQ(s.flashFaults.verifyFailAtPair, 4);
    EXPECT_EQ(s.flashFaults.verifyFailAddress, 0xFE040100u);
    EXPECT_EQ(s.flashFaults.silentFromBlock, 5);
    EXPECT_TRUE(s.flashFaults.hangUpAtSilence);
    EXPECT_FALSE(Scenario::FromJson(R"({"flash": {"erase": 1}})", s, error));
    EXPECT_FALSE(
        Scenario::FromJson(R"({"flash": {"fault": {"verifyFailAddress": "xyz"}}})", s, error));
}

TEST(Scenario, CodeText) {
    int c = 0;
    ASSERT_TRUE(ParseCode("04 1c", c));
    EXPECT_EQ(c, 0x041C);
    EXPECT_EQ(CodeText(0x043E), "04 3E");
    EXPECT_FALSE(ParseCode("041C", c));
}

}  // namespace
