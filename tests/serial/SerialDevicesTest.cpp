#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "serial/ComPortListing.h"
#include "serial/SerialDevice.h"

namespace {

namespace fs = std::filesystem;
using serial::FailureKind;
using serial::NameSource;
using serial::OpenFailure;
using serial::SerialDevice;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

// A machine shaped as sysfs and /dev show it: an FTDI adapter on a USB hub, a modem-class
// device without strings of its own, the PC's first serial port and a virtual console.
class SerialMachine {
  public:
    TempDir dir{"quenta-sysfs"};
    fs::path sys = dir / "sys";
    fs::path dev = dir / "dev";

    SerialMachine() {
        const fs::path ftdi = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.4";
        Write(ftdi / "idVendor", "0403");
        Write(ftdi / "idProduct", "6001");
        Write(ftdi / "manufacturer", "FTDI");
        Write(ftdi / "product", "FT232R USB UART");
        Write(ftdi / "serial", "A1B2C3");
        // The hub above it is a USB device too: the nearest one counts.
        Write(ftdi.parent_path() / "idVendor", "05e3");
        Write(ftdi.parent_path() / "product", "USB2.0 Hub");
        Link(ftdi / "1-2.4:1.0/driver", sys / "bus/usb/drivers/ftdi_sio");
        Tty(ftdi / "1-2.4:1.0/ttyUSB0/tty/ttyUSB0");
        Link(ftdi / "1-2.4:1.0/ttyUSB0/driver",
             "../../../../../../../bus/usb-serial/drivers/ftdi_sio");

        const fs::path acm = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-3";
        Write(acm / "idVendor", "1fc9");
        Write(acm / "idProduct", "0083");
        Link(acm / "1-3:1.0/driver", sys / "bus/usb/drivers/cdc_acm");
        Tty(acm / "1-3:1.0/tty/ttyACM0");

        // Newer kernels put the serial core's controller and port devices in between.
        const fs::path uart = sys / "devices/platform/serial8250";
        Link(uart / "driver", sys / "bus/platform/drivers/serial8250");
        Link(uart / "serial8250:0/driver", sys / "bus/serial-base/drivers/ctrl");
        Link(uart / "serial8250:0/serial8250:0.0/driver", sys / "bus/serial-base/drivers/port");
        Tty(uart / "serial8250:0/serial8250:0.0/tty/ttyS0");

        fs::create_directories(sys / "devices/virtual/tty/tty1");
        Link(sys / "class/tty/tty1", sys / "devices/virtual/tty/tty1");

        Write(dev / "ttyUSB0", "");
        Link(dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "../../ttyUSB0");
        Link(dev / "serial/by-path/pci-0000:00:14.0-usb-0:2.4:1.0-port0", "../../ttyUSB0");
        // A by-id name of a device that is gone.
        Link(dev / "serial/by-id/usb-Prolific-if00-port0", "../../ttyUSB1");
    }

  private:
    // A tty class device with its link back to the device it belongs to.
    void Tty(const fs::path& folder) {
        Write(folder / "dev", "188:0");
        Link(folder / "device", "../..");
        Link(sys / "class/tty" / folder.filename(), folder);
    }
};

TEST(SerialDevices, ReadsNamesDriversAndUsbIdentityFromAFolderShapedLikeSysfs) {
    SerialMachine machine;
    const std::vector<SerialDevice> devices =
        serial::SysfsSerialDevices(machine.sys, machine.dev).Devices();
    ASSERT_EQ(devices.size(), 3u);  // the virtual console is not a serial device

    const SerialDevice& acm = devices[0];
    EXPECT_EQ(acm.name, "ttyACM0");
    EXPECT_EQ(acm.driver, "cdc_acm");
    EXPECT_EQ(acm.vendorId, "1fc9");
    EXPECT_EQ(acm.product, "");
    EXPECT_TRUE(acm.byId.empty());
    EXPECT_EQ(serial::DescribeSerialDevice(acm), "USB 1fc9:0083, cdc_acm");

    const SerialDevice& uart = devices[1];
    EXPECT_EQ(uart.name, "ttyS0");
    EXPECT_FALSE(uart.IsUsb());
    EXPECT_EQ(serial::DescribeSerialDevice(uart), "serial8250");

    const SerialDevice& ftdi = devices[2];
    EXPECT_EQ(ftdi.node, (machine.dev / "ttyUSB0").string());
    EXPECT_EQ(ftdi.driver, "ftdi_sio");
    EXPECT_EQ(ftdi.byId,
              (machine.dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0").string());
    EXPECT_EQ(ftdi.links.size(), 2u);
    EXPECT_EQ(serial::DescribeSerialDevice(ftdi),
              "FTDI FT232R USB UART (0403:6001, ftdi_sio, serial A1B2C3)");
}

TEST(SerialDevices, ComEntriesAreThePresentOnesAndThePortDirectorysWithTheirDevices) {
    SerialMachine machine;
    const std::vector<SerialDevice> devices =
        serial::SysfsSerialDevices(machine.sys, machine.dev).Devices();
    const std::string byId =
        (machine.dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0").string();
    const auto check = [&](int n) {
        OpenFailure f;
        f.comNumber = n;
        f.kind = FailureKind::kAbsent;
        f.source = NameSource::kDefaultTable;
        if (n == 3) {  // the user's link to the adapter's by-id name: the node is followed
            f.kind = FailureKind::kNone;
            f.source = NameSource::kPortDirectory;
            f.device = byId;
        } else if (n == 4) {  // the user's link to nothing
            f.source = NameSource::kPortDirectory;
        } else if (n == 5) {  // present but held: still listed
            f.kind = FailureKind::kBusy;
            f.device = f.node = (machine.dev / "ttyUSB0").string();
        } else if (n == 37) {  // present, but not a device the system named
            f.kind = FailureKind::kNone;
            f.device = f.node = "/dev/pts/7";
        }
        return f;
    };
    const std::vector<serial::ComPortEntry> entries = serial::ListComPorts(check, devices);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].comNumber, 3);
    ASSERT_TRUE(entries[0].device.has_value());
    EXPECT_EQ(entries[0].device->product, "FT232R USB UART");
    EXPECT_EQ(entries[1].comNumber, 4);
    EXPECT_FALSE(entries[1].device.has_value());
    EXPECT_EQ(entries[2].comNumber, 5);
    ASSERT_TRUE(entries[2].device.has_value());
    EXPECT_EQ(entries[2].device->byId, byId);
    EXPECT_EQ(entries[3].comNumber, 37);
    EXPECT_FALSE(entries[3].device.has_value());
}

}  // namespace
