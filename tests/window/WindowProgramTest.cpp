#include <gtest/gtest.h>

#include <string>

#include "ChildProgram.h"

namespace {

TEST(WindowProgramTest, WithoutADisplaySaysSoAndPointsToTheTerminalCommand) {
    for (const char* environment : {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM",
                                    "DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=",
                                    "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb"}) {
        SCOPED_TRACE(environment);
        const testsupport::RunResult run = testsupport::RunProgram(
            "/usr/bin/env", environment + std::string(" " QUENTA_UPDATER_BIN));
        EXPECT_EQ(1, run.status) << run.out;
        EXPECT_NE(std::string::npos, run.out.find("no display was found")) << run.out;
        EXPECT_NE(std::string::npos, run.out.find("quenta update")) << run.out;
    }
}

}  // namespace
