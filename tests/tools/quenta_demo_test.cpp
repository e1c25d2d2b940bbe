// quenta demo from the build tree: a whole update of its simulated radio (not paced, so that
// the run is about the radio's two restarts long), and every way out takes the update and the
// radio down and leaves no port folder behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>

#include "ChildProgram.h"
#include "FileText.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using testsupport::RunOptions;
using testsupport::RunResult;

namespace {

class QuentaDemo : public ::testing::Test {
  protected:
    TempDir runtime{"quenta-demo-runtime"};
    TempDir dataHome{"quenta-demo-data"};
    TempDir stateHome{"quenta-demo-state"};

    void SetUp() override {
        ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", dataHome.Path().c_str(), 1);
        ::setenv("XDG_STATE_HOME", stateHome.Path().c_str(), 1);
    }
    RunResult Demo(const RunOptions& options = {}) {
        return testsupport::RunProgram({QUENTA_BIN, "demo", "--unpaced"}, options);
    }
    // Processes still running with the private folder (made under runtime) in their arguments:
    // the simulated radio or the update, had the demo left them behind.
    int Leftovers() const {
        int count = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
            const std::string args = testsupport::ReadFile(entry.path() / "cmdline");
            if (args.find(runtime.Path() + "/") != std::string::npos)
                ++count;
        }
        return count;
    }
};

TEST_F(QuentaDemo, UpdatesItsRadioToDoneAndRemovesItsFolder) {
    const RunResult r = Demo();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nDone.\n"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::is_empty(dataHome / "quenta/backups"));
    EXPECT_TRUE(fs::is_empty(runtime.Path()));
    EXPECT_EQ(Leftovers(), 0);
}

// Ctrl-C, SIGTERM and a closed terminal reach the demo alone (as from kill or the terminal):
// the update stops as with its Stop button, then the radio goes and the folder with it.
TEST_F(QuentaDemo, StopSignalsEndTheUpdateAndTheRadio) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        RunOptions options;
        options.onLine = [](const std::string& line) { return line.rfind("Downloading", 0) == 0; };
        options.lineSignal = signal;
        const RunResult r = Demo(options);
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_TRUE(fs::is_empty(runtime.Path()));
        EXPECT_EQ(Leftovers(), 0);
    }
}

}  // namespace
