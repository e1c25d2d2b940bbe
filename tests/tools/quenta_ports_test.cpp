#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "ChildProgram.h"
#include "PortsCommand.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "UsbAdapter.h"

namespace {

namespace fs = std::filesystem;

// The program's standard output (its standard error apart).
testsupport::RunResult Quenta(const std::string& args) {
    testsupport::RunOptions options;
    options.separateErr = true;
    return testsupport::RunProgram(QUENTA_BIN, args, options);
}

serial::ComPortEntry FtdiEntry() {
    serial::ComPortEntry entry;
    entry.comNumber = 5;
    entry.check.comNumber = 5;
    entry.check.source = serial::NameSource::kDefaultTable;
    entry.check.device = entry.check.node = "/dev/ttyUSB0";
    entry.check.kind = serial::FailureKind::kBusy;
    entry.check.holderPid = 4321;
    entry.device = testsupport::FtdiAdapter("/dev/ttyUSB0");
    return entry;
}

TEST(QuentaPortsTest, AnAdapterIsNamedInTextAndJson) {
    const serial::ComPortEntry entry = FtdiEntry();
    const std::string text = PortText(entry);
    EXPECT_EQ(text.rfind("COM5   /dev/ttyUSB0  FTDI FT232R USB UART (0403:6001, ftdi_sio, serial "
                         "A1B2C3)\n       /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-"
                         "port0\n       busy: ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("4321"), std::string::npos) << text;

    const nlohmann::json j = PortJson(entry);
    EXPECT_EQ(j["com"], "COM5");
    EXPECT_EQ(j["available"], false);
    EXPECT_EQ(j["problem"], "busy");
    EXPECT_EQ(j["byId"], entry.device->byId);
    EXPECT_EQ(j["vendorId"], "0403");
    EXPECT_EQ(j["productId"], "6001");
    EXPECT_EQ(j["product"], "FT232R USB UART");
    EXPECT_EQ(j["driver"], "ftdi_sio");
    EXPECT_EQ(j["serialNumber"], "A1B2C3");
}

// The port directory's entries are listed whether they reach a device or not.
TEST(QuentaPortsTest, ListsThePortDirectorysLinks) {
    const PseudoTerminal pty;
    ASSERT_FALSE(pty.Slave().empty());
    const std::string& slave = pty.Slave();
    TempDir dir;
    fs::create_symlink(slave, dir / "COM9");
    fs::create_symlink(dir / "nowhere", dir / "COM3");

    const testsupport::RunResult json = Quenta("ports --json --port-dir " + dir.Path());
    EXPECT_EQ(json.status, 0) << json.out;
    std::map<std::string, nlohmann::json> byCom;
    std::istringstream lines(json.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << line;
        byCom[j["com"]] = j;
    }
    ASSERT_EQ(byCom.count("COM9"), 1u) << json.out;
    EXPECT_EQ(byCom["COM9"]["available"], true);
    EXPECT_EQ(byCom["COM9"]["node"], slave);
    EXPECT_EQ(byCom["COM9"]["source"], "port-directory");
    ASSERT_EQ(byCom.count("COM3"), 1u) << json.out;
    EXPECT_EQ(byCom["COM3"]["problem"], "not present");

    const testsupport::RunResult text = Quenta("ports --port-dir " + dir.Path());
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("COM9   " + slave + "\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("COM3   no device\n"), std::string::npos) << text.out;
    EXPECT_EQ(Quenta("ports --jsn").status, 2);
}

}  // namespace
