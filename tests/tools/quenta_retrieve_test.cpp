// quenta retrieve: the printed record, against the simulated radio, and its failure paths.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <cstdio>
#include <sstream>

#include "PtyTestDevice.h"
#include "RadioSim.h"
#include "RetrieveCommand.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "link/RadioLink.h"
#include "link/VersionRecord.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun Quenta(const std::string& args) {
    ToolRun r;
    FILE* pipe = ::popen((std::string(QUENTA_BIN) + " " + args + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return r;
    char chunk[512];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        r.output.append(chunk, n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
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

class RetrieveAgainstSim : public ::testing::Test {
  protected:
    Scenario scenario;
    std::unique_ptr<RadioSim> sim;
    QtMessagePump pump;
    QtIntervalTimer timer;
    std::ostringstream out, err;

    int Retrieve(TargetKind kind = kDefaultRetrieveKind) {
        sim = std::make_unique<RadioSim>(scenario);
        std::string error;
        EXPECT_TRUE(sim->Open(error)) << error;
        sim->Start();
        const std::string path = sim->SlavePath();
        RadioLink link(
            pump, std::make_unique<simtest::PtyTestDeviceFactory>([path](int) { return path; }));
        link.AttachTimer(timer);
        int status = RetrieveVersionInfo(link, 4, kind, out, err);
        sim->Stop();
        return status;
    }
};

TEST_F(RetrieveAgainstSim, PrintsTheRecord) {
    EXPECT_EQ(Retrieve(), 0);
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

TEST(RetrieveOpen, UnopenablePortIsReported) {
    QtMessagePump pump;
    RadioLink link(pump, std::make_unique<simtest::PtyTestDeviceFactory>(
                             [](int) { return std::string("/dev/quenta-no-such-port"); }));
    std::ostringstream out, err;
    EXPECT_EQ(RetrieveVersionInfo(link, 9, 6, out, err), 1);
    EXPECT_EQ(err.str().rfind("Unable to start communication: COM port error\n", 0), 0u);
    EXPECT_EQ(out.str(), "");
}

TEST(RetrieveCli, UsageAndPortErrors) {
    ToolRun r = Quenta("retrieve");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("usage: quenta retrieve"), std::string::npos);
    EXPECT_EQ(Quenta("retrieve --port COM3 --kind 9").status, 2);
    EXPECT_EQ(Quenta("retrieve --port COM65").status, 2);
    r = Quenta("retrieve --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(Quenta("").output.find("retrieve"), std::string::npos);
}

TEST(RetrieveCli, AbsentPortFailsWithTheCommunicationText) {
    ToolRun r = Quenta("retrieve --port COM64");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Unable to start communication: COM port error"), std::string::npos)
        << r.output;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
