#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/SerialDevice.h"

namespace serial {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute without its line end; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::string();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool IsLink(const fs::path& path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
}

// Where a relative or absolute link points, without asking that the target exists.
fs::path LinkTarget(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    if (ec)
        return fs::path();
    return target.is_absolute() ? target.lexically_normal()
                                : (link.parent_path() / target).lexically_normal();
}

}  // namespace

void ReadSysfsFacts(SerialDevice& device) {
    std::error_code ec;
    fs::path path = fs::canonical(device.sysPath, ec);
    if (ec)
        return;
    bool haveDriver = false;
    bool haveUsb = false;
    // Up the device tree to the top of sysfs's devices folder.
    for (; path.has_relative_path() && path.filename() != "devices"; path = path.parent_path()) {
        if (!haveDriver && IsLink(path / "driver")) {
            // The link reads .../bus/BUS/drivers/NAME. Newer kernels put a controller and a
            // port device of the serial core's own bus between a UART's tty and its driver:
            // their drivers ("ctrl", "port") say nothing about the hardware.
            const fs::path driver = LinkTarget(path / "driver");
            if (driver.parent_path().parent_path().filename() != "serial-base") {
                device.driver = driver.filename().string();
                haveDriver = true;
            }
        }
        if (!haveUsb && fs::exists(path / "idVendor", ec)) {
            device.vendorId = ReadAttribute(path / "idVendor");
            device.productId = ReadAttribute(path / "idProduct");
            device.manufacturer = ReadAttribute(path / "manufacturer");
            device.product = ReadAttribute(path / "product");
            device.serialNumber = ReadAttribute(path / "serial");
            haveUsb = true;
        }
        if (haveDriver && haveUsb)
            break;
    }
}

SysfsSerialDevices::SysfsSerialDevices(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::vector<SerialDevice> SysfsSerialDevices::Devices() {
    std::vector<SerialDevice> devices;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysRoot_ + "/class/tty", ec)) {
        // Only ttys with a device behind them: virtual consoles, ptmx and the console have none.
        if (!fs::exists(entry.path() / "device", ec))
            continue;
        SerialDevice device;
        device.name = entry.path().filename().string();
        device.node = devRoot_ + "/" + device.name;
        device.sysPath = entry.path().string();
        ReadSysfsFacts(device);
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.name < b.name; });

    // The stable names udev made, when it did: links whose target is the device's node.
    struct LinkFolder {
        const char* path;
        bool byId;
    };
    for (const LinkFolder folder :
         {LinkFolder{"/serial/by-id", true}, {"/serial/by-path", false}}) {
        const bool byId = folder.byId;
        for (const fs::directory_entry& entry :
             fs::directory_iterator(devRoot_ + folder.path, ec)) {
            if (!IsLink(entry.path()))
                continue;
            const std::string target = LinkTarget(entry.path()).filename().string();
            for (SerialDevice& device : devices) {
                if (device.name != target)
                    continue;
                device.links.push_back(entry.path().string());
                if (byId && device.byId.empty())
                    device.byId = entry.path().string();
            }
        }
    }
    for (SerialDevice& device : devices)
        std::sort(device.links.begin(), device.links.end());
    return devices;
}

std::string DescribeSerialDevice(const SerialDevice& device) {
    if (!device.IsUsb())
        return device.driver;
    std::string name = device.manufacturer;
    if (!device.product.empty())
        name += (name.empty() ? "" : " ") + device.product;
    std::string facts = device.vendorId + ":" + device.productId;
    if (!device.driver.empty())
        facts += ", " + device.driver;
    if (!device.serialNumber.empty())
        facts += ", serial " + device.serialNumber;
    return name.empty() ? "USB " + facts : name + " (" + facts + ")";
}

}  // namespace serial
