#pragma once

// What the system knows about one serial device: its node, the stable names udev gives it and,
// for a USB adapter, who made it and which driver runs it. A technician with three adapters on
// a hub tells them apart by these, not by /dev/ttyUSBn, which follows the order of plugging.

#include <memory>
#include <string>
#include <vector>

namespace serial {

struct SerialDevice {
    std::string name;                // the kernel's name, e.g. "ttyUSB0"
    std::string node;                // the device node, e.g. "/dev/ttyUSB0"
    std::string sysPath;             // its folder in sysfs
    std::string byId;                // its /dev/serial/by-id name, empty when it has none
    std::vector<std::string> links;  // every other name udev made for it
    std::string driver;              // e.g. "ftdi_sio", "cp210x", "cdc_acm", "serial8250"
    // USB adapters only (empty otherwise): ids as four lower-case hex digits, and the
    // strings the adapter reports about itself.
    std::string vendorId;
    std::string productId;
    std::string manufacturer;  // e.g. "FTDI"
    std::string product;       // e.g. "FT232R USB UART"
    std::string serialNumber;

    bool IsUsb() const { return !vendorId.empty(); }
};

// Fills driver and the USB facts of device from sysfs: the driver is that of the nearest
// device above the tty that has one (the usb-serial port, the USB interface or the platform
// device); the USB facts are those of the nearest USB device above it. sysPath may be a link
// (as /sys/class/tty/NAME is).
void ReadSysfsFacts(SerialDevice& device);

// Where serial devices come from: udev on a running system, a folder shaped like sysfs and /dev
// in tests and where udev is not running.
class SerialDeviceSource {
  public:
    virtual ~SerialDeviceSource() = default;
    // Every tty backed by hardware (or a driver that stands for it), in name order. Virtual
    // consoles and pseudo-terminals are not among them.
    virtual std::vector<SerialDevice> Devices() = 0;
};

// Reads sysRoot/class/tty and takes names from devRoot/serial/by-id and devRoot/serial/by-path.
class SysfsSerialDevices : public SerialDeviceSource {
  public:
    SysfsSerialDevices(std::string sysRoot = "/sys", std::string devRoot = "/dev");
    std::vector<SerialDevice> Devices() override;

  private:
    std::string sysRoot_;
    std::string devRoot_;
};

// Tells when a serial device came or went: its descriptor becomes readable, then Drain takes
// what is waiting. An event loop watches the descriptor.
class SerialDeviceMonitor {
  public:
    virtual ~SerialDeviceMonitor() = default;
    virtual int Descriptor() const = 0;
    // Takes every waiting event without blocking; true when a serial device was added or
    // removed among them.
    virtual bool Drain() = 0;
};

// udev's view of the machine's serial devices; falls back to the folders under /sys and /dev
// when udev cannot be reached.
std::unique_ptr<SerialDeviceSource> SystemSerialDevices();

// A monitor of udev's tty events; null when udev cannot be reached.
std::unique_ptr<SerialDeviceMonitor> OpenSystemSerialMonitor();

// One line naming the adapter for a user: "FTDI FT232R USB UART (0403:6001, ftdi_sio, serial
// A1B2C3)"; for a device that is not USB its driver alone ("serial8250"); empty when nothing
// is known.
std::string DescribeSerialDevice(const SerialDevice& device);

}  // namespace serial
