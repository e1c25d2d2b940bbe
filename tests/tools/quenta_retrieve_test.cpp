// quenta retrieve: the printed record, against the simulated radio, and its failure paths.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ChildProgram.h"
#include "FileText.h"
#include "RadioSim.h"
#include "SimPortDirectory.h"
#include "TempDir.h"
#include "app/cli/CarriedPackage.h"
#include "app/cli/Retrieve.h"
#include "app/cli/VersionInfoText.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/report/KeptTraces.h"
#include "link/RadioLink.h"
#include "link/VersionRecord.h"

namespace {

using ToolRun = testsupport::RunResult;

ToolRun Quenta(const std::string& args) {
    return testsupport::RunProgram(QUENTA_BIN, args);
}

const char* const kDefaultRadioText =
    "File Format Version: 5.10\n"
    "DSP Software Version: 1.2.3\n"
    "Controller Version: 4.1.12\n"
    "Hardware Revision: Not Applicable\n"
    "Radio Serial Number: 00-01-23-45-67-89-AB-CD\n"
    "Boot Load Version: 1.9\n"
    "SEM Version: 2.3\n";

TEST(RetrieveFormat, LabelsAndNotApplicableRules) {
    VersionRecord r;
    const std::uint8_t bytes[VersionRecord::kSize] = {5, 8, 0, 0, 0, 10, 0,    255, 1, 0, 3, 0xFF,
                                                      0, 0, 0, 0, 0, 0,  0x0A, 0,   0, 0, 7};
    std::copy(bytes, bytes + VersionRecord::kSize, r.bytes);
    EXPECT_EQ(FormatVersionInfo(r, 5),
              "File Format Version: 5.8\n"
              "DSP Software Version: 0.0.0\n"
              "Controller Version: 10.0.255\n"
              "Hardware Revision: 1.0.3\n"
              "Radio Serial Number: FF-00-00-00-00-00-00-0A\n"
              "Boot Load Version: Not Applicable\n"
              "SEM Version: 0.7\n");
    EXPECT_NE(FormatVersionInfo(r, 6).find("Hardware Revision: Not Applicable\n"),
              std::string::npos);
}

// XDG_STATE_HOME names a folder of the test's own while it lives, so that the runs' kept traces
// land there.
class StateHome {
  public:
    StateHome() { ::setenv("XDG_STATE_HOME", folder.Path().c_str(), 1); }
    ~StateHome() { ::unsetenv("XDG_STATE_HOME"); }
    std::vector<std::filesystem::path> Traces() const {
        return report::KeptTraceFiles(report::DefaultTraceFolder());
    }

  private:
    TempDir folder;
};

class RetrieveAgainstSim : public ::testing::Test {
  protected:
    simtest::SimPortDirectory ports;
    Scenario scenario;
    std::unique_ptr<RadioSim> sim;
    std::ostringstream out, err;

    int Retrieve(TargetKind kind = kDefaultRetrieveKind) {
        sim = std::make_unique<RadioSim>(scenario);
        std::string error;
        EXPECT_TRUE(sim->Open(error, ports.Path(), 4)) << error;
        sim->Start();
        RetrieveOptions options;
        options.comNumber = 4;
        options.kind = kind;
        int status = RetrieveVersionInfo(options, out, err);
        sim->Stop();
        return status;
    }
};

TEST_F(RetrieveAgainstSim, PrintsTheRecordAndKeepsItsTrace) {
    StateHome state;
    EXPECT_EQ(Retrieve(), 0);
    // The run's frames are kept for a support report, both ways.
    const std::vector<std::filesystem::path> traces = state.Traces();
    ASSERT_EQ(traces.size(), 1u);
    const std::string trace = testsupport::ReadFile(traces[0]);
    EXPECT_NE(trace.find(" W "), std::string::npos) << trace;
    EXPECT_NE(trace.find(" R 04 1D "), std::string::npos) << trace;
    EXPECT_EQ(out.str(), kDefaultRadioText);
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(sim->Violations().empty());
    // Nothing that changes the radio was sent: only the seven reads.
    auto counts = sim->Report()["counts"];
    EXPECT_EQ(counts.size(), 7u);
    EXPECT_FALSE(counts.contains("09 00"));
}

TEST_F(RetrieveAgainstSim, NoBootInformationIsStillShown) {
    scenario.bootPresent = false;
    scenario.controller = {3, 0, 0};  // no SEM step either
    EXPECT_EQ(Retrieve(1), 0);
    EXPECT_NE(out.str().find("Boot Load Version: Not Applicable\n"), std::string::npos);
    EXPECT_NE(out.str().find("Hardware Revision: 7.8.9\n"), std::string::npos);
    EXPECT_NE(out.str().find("SEM Version: Not Applicable\n"), std::string::npos);
}

TEST_F(RetrieveAgainstSim, SilentRadioIsACommunicationError) {
    scenario.silentFrom = 0x041C;
    EXPECT_EQ(Retrieve(), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "Communication error while retrieving version information.\n");
}

TEST(RetrieveOpen, UnopenablePortIsReportedWithTheReasonAndKeepsNoTrace) {
    StateHome state;
    simtest::SimPortDirectory ports;
    std::filesystem::create_symlink("/dev/quenta-no-such-port", ports.Path() + "/COM9");
    std::ostringstream out, err;
    RetrieveOptions options;
    options.comNumber = 9;
    EXPECT_EQ(RetrieveVersionInfo(options, out, err), 1);
    // The port scan finds it absent before anything is opened.
    EXPECT_EQ(err.str().rfind("Selected COM port is in use or not available.\n", 0), 0u);
    // The serial layer's reason follows on a line of its own.
    EXPECT_NE(err.str().find("quenta-no-such-port"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(state.Traces().empty());
}

// The quenta-radiosim program, serving COM7 of a port directory until it is told to stop.
class SimProcess {
  public:
    SimProcess(const std::string& portDir, const std::string& scenarioJson)
        : scenario_(Written(portDir + "/scenario.json", scenarioJson)),
          report_(portDir + "/report.json"),
          program_({QUENTA_RADIOSIM_BIN, "--port-dir", portDir, "--com", "7", "--scenario",
                    scenario_, "--report", report_}),
          ready_(program_.NextLine()) {}  // "COM7 /dev/pts/N": the line is ready
    const std::string& ReadyLine() const { return ready_; }
    std::string SlavePath() const {
        auto space = ready_.find(' ');
        return space == std::string::npos ? ""
                                          : ready_.substr(space + 1, ready_.size() - space - 2);
    }
    nlohmann::json Stop() {
        program_.Stop(SIGTERM);
        std::ifstream in(report_);
        return in ? nlohmann::json::parse(in, nullptr, false) : nlohmann::json();
    }

  private:
    static std::string Written(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
        return path;
    }
    std::string scenario_, report_;
    testsupport::ChildProgram program_;
    std::string ready_;
};

TEST(RetrieveEndToEnd, AgainstTheSimulatorProgramByComNameAndByDevice) {
    simtest::SimPortDirectory ports;
    SimProcess sim(ports.Path(), R"({"boot": {"busy": 0}})");
    ASSERT_EQ(sim.ReadyLine().rfind("COM7 /dev/", 0), 0u) << sim.ReadyLine();

    ToolRun r = Quenta("retrieve --port COM7 --port-dir " + ports.Path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, kDefaultRadioText);

    const std::string trace = ports.Path() + "/trace";
    r = Quenta("retrieve --trace " + trace + " --port " + sim.SlavePath() + " --kind 5");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Hardware Revision: 7.8.9\n"), std::string::npos) << r.out;
    const std::string frames = testsupport::ReadFile(trace);
    EXPECT_NE(frames.find(" W BA 7F 01 04 2D 4F 7E\n"), std::string::npos) << frames;
    EXPECT_NE(frames.find(" R 04 2E 01 09\n"), std::string::npos) << frames;

    // The same read for a program: every line one JSON object, the fields in the last.
    r = Quenta("retrieve --json --port COM7 --port-dir " + ports.Path());
    EXPECT_EQ(r.status, 0) << r.out;
    const std::vector<std::string> lines = testsupport::Lines(r.out);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines)
        EXPECT_TRUE(nlohmann::json::parse(line, nullptr, false).is_object()) << line;
    const nlohmann::json result = nlohmann::json::parse(lines.back())["result"];
    EXPECT_EQ(result["exitStatus"], 0) << lines.back();
    EXPECT_EQ(result["version"]["serial"], "00-01-23-45-67-89-AB-CD") << lines.back();
    EXPECT_EQ(result["version"]["fileFormat"], "5.10") << lines.back();

    nlohmann::json report = sim.Stop();
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["counts"]["04 1C"], 3);
    EXPECT_EQ(report["counts"]["04 3E"], 3);
    EXPECT_FALSE(report["counts"].contains("09 00"));  // never told to change anything
    EXPECT_TRUE(report["violations"].empty()) << report["violations"].dump();
}

TEST(RetrieveEndToEnd, RadioThatDoesNotAnswer) {
    simtest::SimPortDirectory ports;
    SimProcess sim(ports.Path(), R"({"silentFrom": "04 0B"})");
    ToolRun r = Quenta("retrieve --port COM7 --port-dir " + ports.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Communication error while retrieving version information.\n");
}

TEST(RetrieveCli, UsageAndPortErrors) {
    ToolRun r = Quenta("retrieve");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("usage: quenta retrieve"), std::string::npos);
    EXPECT_EQ(Quenta("retrieve --port COM3 --kind 9").status, 2);
    EXPECT_EQ(Quenta("retrieve --port COM65").status, 2);
    r = Quenta("retrieve --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(Quenta("").out.find("retrieve"), std::string::npos);
}

TEST(RetrieveCli, AbsentPortFailsWithTheReason) {
    ToolRun r = Quenta("retrieve --port COM64");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Selected COM port is in use or not available."), std::string::npos)
        << r.out;
}

}  // namespace
