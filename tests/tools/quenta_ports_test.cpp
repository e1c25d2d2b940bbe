#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "PortsCommand.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;  // stdout only
};

ToolRun Quenta(const std::string& args) {
    ToolRun r;
    const std::string command = std::string(QUENTA_BIN) + " " + args;
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

serial::ComPortEntry FtdiEntry() {
    serial::ComPortEntry entry;
    entry.comNumber = 5;
    entry.check.comNumber = 5;
    entry.check.source = serial::NameSource::kDefaultTable;
    entry.check.device = entry.check.node = "/dev/ttyUSB0";
    entry.check.kind = serial::FailureKind::kBusy;
    entry.check.holderPid = 4321;
    serial::SerialDevice d;
    d.name = "ttyUSB0";
    d.node = "/dev/ttyUSB0";
    d.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    d.driver = "ftdi_sio";
    d.vendorId = "0403";
    d.productId = "6001";
    d.manufacturer = "FTDI";
    d.product = "FT232R USB UART";
    d.serialNumber = "A1B2C3";
    entry.device = d;
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
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    TempDir dir;
    fs::create_symlink(slave, dir / "COM9");
    fs::create_symlink(dir / "nowhere", dir / "COM3");

    const ToolRun json = Quenta("ports --json --port-dir " + dir.Path());
    EXPECT_EQ(json.status, 0) << json.output;
    std::map<std::string, nlohmann::json> byCom;
    std::istringstream lines(json.output);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << line;
        byCom[j["com"]] = j;
    }
    ASSERT_EQ(byCom.count("COM9"), 1u) << json.output;
    EXPECT_EQ(byCom["COM9"]["available"], true);
    EXPECT_EQ(byCom["COM9"]["node"], slave);
    EXPECT_EQ(byCom["COM9"]["source"], "port-directory");
    ASSERT_EQ(byCom.count("COM3"), 1u) << json.output;
    EXPECT_EQ(byCom["COM3"]["problem"], "not present");

    const ToolRun text = Quenta("ports --port-dir " + dir.Path());
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.output.find("COM9   " + slave + "\n"), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("COM3   no device\n"), std::string::npos) << text.output;
    EXPECT_EQ(Quenta("ports --jsn 2>/dev/null").status, 2);
    ::close(master);
}

}  // namespace
