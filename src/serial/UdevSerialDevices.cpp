// The system's serial devices and their comings and goings, from udev. libudev stays in this
// file; the rest of the program sees SerialDeviceSource and SerialDeviceMonitor.
#include <libudev.h>

#include <algorithm>
#include <cstring>

#include "serial/SerialDevice.h"

namespace serial {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string Text(const char* s) {
    return s != nullptr ? std::string(s) : std::string();
}

class UdevSerialDevices : public SerialDeviceSource {
  public:
    explicit UdevSerialDevices(UdevPtr<udev> context) : udev_(std::move(context)) {}

    std::vector<SerialDevice> Devices() override {
        std::vector<SerialDevice> devices;
        UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(udev_.get()));
        if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
            udev_enumerate_scan_devices(enumerate.get()) < 0)
            return devices;
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
            UdevPtr<udev_device> d(
                udev_device_new_from_syspath(udev_.get(), udev_list_entry_get_name(entry)));
            // Ttys without a parent device are virtual: consoles, ptmx, pseudo-terminals.
            if (!d || udev_device_get_parent(d.get()) == nullptr ||
                udev_device_get_devnode(d.get()) == nullptr)
                continue;
            devices.push_back(Describe(d.get()));
        }
        std::sort(devices.begin(), devices.end(),
                  [](const SerialDevice& a, const SerialDevice& b) { return a.name < b.name; });
        return devices;
    }

  private:
    static SerialDevice Describe(udev_device* d) {
        SerialDevice device;
        device.name = Text(udev_device_get_sysname(d));
        device.node = Text(udev_device_get_devnode(d));
        device.sysPath = Text(udev_device_get_syspath(d));
        udev_list_entry* link = nullptr;
        udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(d)) {
            device.links.push_back(Text(udev_list_entry_get_name(link)));
        }
        std::sort(device.links.begin(), device.links.end());
        for (const std::string& name : device.links) {
            if (name.rfind("/dev/serial/by-id/", 0) == 0) {
                device.byId = name;
                break;
            }
        }
        ReadSysfsFacts(device);
        // Adapters that report no strings of their own: the names of the USB id database.
        if (device.IsUsb() && device.manufacturer.empty())
            device.manufacturer =
                Text(udev_device_get_property_value(d, "ID_VENDOR_FROM_DATABASE"));
        if (device.IsUsb() && device.product.empty())
            device.product = Text(udev_device_get_property_value(d, "ID_MODEL_FROM_DATABASE"));
        return device;
    }

    UdevPtr<udev> udev_;
};

class UdevSerialMonitor : public SerialDeviceMonitor {
  public:
    explicit UdevSerialMonitor(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor)
        : udev_(std::move(context)), monitor_(std::move(monitor)) {}

    int Descriptor() const override { return udev_monitor_get_fd(monitor_.get()); }

    bool Drain() override {
        // The monitor's socket does not block: receiving stops when nothing is left.
        bool changed = false;
        while (UdevPtr<udev_device> d{udev_monitor_receive_device(monitor_.get())}) {
            const char* action = udev_device_get_action(d.get());
            if (action != nullptr &&
                (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                changed = true;
        }
        return changed;
    }

  private:
    UdevPtr<udev> udev_;
    UdevPtr<udev_monitor> monitor_;
};

}  // namespace

std::unique_ptr<SerialDeviceSource> SystemSerialDevices() {
    UdevPtr<udev> context(udev_new());
    if (!context)
        return std::make_unique<SysfsSerialDevices>();
    return std::make_unique<UdevSerialDevices>(std::move(context));
}

std::unique_ptr<SerialDeviceMonitor> OpenSystemSerialMonitor() {
    UdevPtr<udev> context(udev_new());
    if (!context)
        return nullptr;
    // "udev" events come after udev's rules ran: the node, its permissions and its by-id name
    // are in place when the window looks.
    UdevPtr<udev_monitor> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0)
        return nullptr;
    return std::make_unique<UdevSerialMonitor>(std::move(context), std::move(monitor));
}

}  // namespace serial
