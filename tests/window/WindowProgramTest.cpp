#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ProgramRun {
    int status = -1;  // exit status, or -1 when the program was killed by a signal
    std::string output;
};

ProgramRun RunWindowProgram(const std::string& environment) {
    ProgramRun r;
    const std::string command = "env " + environment + " '" QUENTA_UPDATER_BIN "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char block[512];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, pipe)) > 0)
        r.output.append(block, n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(WindowProgramTest, WithoutADisplaySaysSoAndPointsToTheTerminalCommand) {
    for (const char* environment : {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM",
                                    "DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=",
                                    "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb"}) {
        SCOPED_TRACE(environment);
        const ProgramRun run = RunWindowProgram(environment);
        EXPECT_EQ(1, run.status) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("no display was found")) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("quenta update")) << run.output;
    }
}

}  // namespace
