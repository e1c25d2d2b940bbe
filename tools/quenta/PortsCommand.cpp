#include "PortsCommand.h"

#include <iostream>
#include <string>

#include "serial/PosixSerialOs.h"
#include "serial/SerialDevice.h"

namespace {

int Usage(std::ostream& err) {
    err << "usage: quenta ports [--json] [--port-dir DIR]\n"
           "  Lists the COM entries that reach a device present now, and every COMn link of\n"
           "  the port directory: the Linux device, its /dev/serial/by-id name, for a USB\n"
           "  adapter its maker, product, ids, driver and serial number, and why the port\n"
           "  cannot be used when it cannot.\n"
           "  --json      one JSON object per line\n"
           "  --port-dir  folder of COMn links to look in first (default "
           "~/.config/quenta/ports)\n";
    return 2;
}

const char* SourceName(serial::NameSource source) {
    switch (source) {
        case serial::NameSource::kPortDirectory:
            return "port-directory";
        case serial::NameSource::kDefaultTable:
            return "default-table";
        case serial::NameSource::kUnmapped:
            return "unmapped";
        case serial::NameSource::kPath:
            break;
    }
    return "path";
}

// The node the entry reaches: the real one when known, else the path it resolved to; empty
// when it reaches nothing.
std::string NodeOf(const serial::ComPortEntry& entry) {
    if (entry.device)
        return entry.device->node;
    if (entry.check.kind == serial::FailureKind::kAbsent)
        return std::string();
    return entry.check.node.empty() ? entry.check.device : entry.check.node;
}

}  // namespace

std::string PortText(const serial::ComPortEntry& entry) {
    const serial::OpenFailure& check = entry.check;
    std::string com = "COM" + std::to_string(entry.comNumber);
    com.resize(std::max<std::size_t>(com.size() + 1, 7), ' ');
    const std::string indent(com.size(), ' ');
    const std::string node = NodeOf(entry);
    std::string text = com + (node.empty() ? "no device" : node);
    if (entry.device) {
        const std::string adapter = serial::DescribeSerialDevice(*entry.device);
        if (!adapter.empty())
            text += "  " + adapter;
    }
    text += "\n";
    if (entry.device && !entry.device->byId.empty())
        text += indent + entry.device->byId + "\n";
    if (check.source == serial::NameSource::kPortDirectory)
        text += indent + "link " + check.device + " -> " +
                (check.linkTarget.empty() ? "?" : check.linkTarget) + "\n";
    if (check.kind != serial::FailureKind::kNone)
        text += indent + serial::DescribeOpenFailure(check) + "\n";
    return text;
}

nlohmann::json PortJson(const serial::ComPortEntry& entry) {
    const serial::OpenFailure& check = entry.check;
    nlohmann::json j;
    j["com"] = "COM" + std::to_string(entry.comNumber);
    j["path"] = check.device;
    j["source"] = SourceName(check.source);
    if (check.source == serial::NameSource::kPortDirectory)
        j["linkTarget"] = check.linkTarget;
    j["node"] = NodeOf(entry);
    j["available"] = check.kind == serial::FailureKind::kNone;
    if (check.kind != serial::FailureKind::kNone) {
        j["problem"] = serial::FailureKindName(check.kind);
        j["detail"] = serial::DescribeOpenFailure(check);
    }
    if (entry.device) {
        const serial::SerialDevice& d = *entry.device;
        j["byId"] = d.byId;
        j["driver"] = d.driver;
        if (d.IsUsb()) {
            j["vendorId"] = d.vendorId;
            j["productId"] = d.productId;
            j["manufacturer"] = d.manufacturer;
            j["product"] = d.product;
            j["serialNumber"] = d.serialNumber;
        }
    }
    return j;
}

int runPortsCommand(int argc, char** argv) {
    bool json = false;
    serial::PosixSerialOs& os = serial::SystemSerialOs();
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--port-dir" && i + 1 < argc) {
            os.Resolver().SetPortDirectory(argv[++i]);
        } else if (a == "--help") {
            Usage(std::cout);
            return 0;
        } else {
            std::cerr << "quenta ports: unexpected argument " << a << "\n";
            return Usage(std::cerr);
        }
    }
    const std::vector<serial::SerialDevice> devices = serial::SystemSerialDevices()->Devices();
    const std::vector<serial::ComPortEntry> entries =
        serial::ListComPorts([&os](int n) { return os.Check("COM" + std::to_string(n)); }, devices);
    for (const serial::ComPortEntry& entry : entries)
        std::cout << (json ? PortJson(entry).dump() + "\n" : PortText(entry));
    if (entries.empty() && !json)
        std::cout << "No COM port reaches a device.\n";
    return 0;
}
