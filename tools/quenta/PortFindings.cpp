#include "PortFindings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace doctor {

namespace {

constexpr const char* kUdevRule = "/usr/share/quenta/udev/60-quenta-serial-adapters.rules";

// The package's optional rule, turned on.
std::string InstallRuleFix() {
    return std::string("sudo cp ") + kUdevRule +
           " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger";
}

// USB serial chips worth a word: those cloned or bricked often, and those that other
// programs take for their own devices.
struct KnownChip {
    const char* vendorId;
    const char* productId;
    const char* name;
    Severity severity;
    const char* remark;  // empty when the chip is simply good
};

const KnownChip kKnownChips[] = {
    {"0403", "6001", "FTDI FT232R", Severity::kOk, ""},
    {"0403", "6010", "FTDI FT2232", Severity::kOk, ""},
    {"0403", "6011", "FTDI FT4232", Severity::kOk, ""},
    {"0403", "6014", "FTDI FT232H", Severity::kOk, ""},
    {"0403", "6015", "FTDI FT-X", Severity::kOk, ""},
    {"0403", "0000", "FTDI clone with product id 0000", Severity::kBlocker,
     "a counterfeit FT232R that a driver update bricked: the ftdi_sio driver does not take it "
     "as an adapter; replace the cable (one with a genuine FTDI or CP210x chip)"},
    {"10c4", "ea60", "Silicon Labs CP210x", Severity::kOk, ""},
    {"067b", "2303", "Prolific PL2303", Severity::kNote,
     "cables with this id often carry counterfeit or discontinued PL2303 chips, which drop "
     "bytes or stop at higher rates; if the loopback check or an update fails, use a cable with "
     "an FTDI or CP210x chip"},
    {"067b", "23a3", "Prolific PL2303GC", Severity::kOk, ""},
    {"1a86", "7523", "WCH CH340", Severity::kNote,
     "brltty's rules take this chip for a braille display on many systems"},
    {"1a86", "5523", "WCH CH341", Severity::kNote,
     "brltty's rules take this chip for a braille display on many systems"},
};

const KnownChip* FindChip(const std::string& vendorId, const std::string& productId) {
    for (const KnownChip& chip : kKnownChips) {
        if (vendorId == chip.vendorId && productId == chip.productId)
            return &chip;
    }
    return nullptr;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string WithoutLeadingZeros(const std::string& hex) {
    const std::size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool HasGroup(const std::vector<serial::GroupEntry>& groups, gid_t gid) {
    return std::any_of(groups.begin(), groups.end(),
                       [gid](const serial::GroupEntry& g) { return g.gid == gid; });
}

std::string NodeOf(const PortFacts& port) {
    if (port.device)
        return port.device->node;
    return port.check.node.empty() ? port.check.device : port.check.node;
}

void AccessFindings(const SystemFacts& system, const PortFacts& port, const std::string& node,
                    std::vector<Finding>& out) {
    const serial::NodeInfo& info = port.nodeInfo;
    const serial::UserInfo& user = system.user;
    if (!info.valid || !user.valid)
        return;
    const std::string group = info.group.empty() ? std::to_string(info.gid) : info.group;
    const std::string owner = info.owner.empty() ? std::to_string(info.uid) : info.owner;
    const std::string who = user.name.empty() ? std::to_string(user.uid) : user.name;
    const std::string stated = node + " is " + owner + ":" + group + " " + ModeText(info.mode);
    if (user.uid == 0) {
        out.push_back({"permissions", Severity::kOk, stated + "; you are root", ""});
        return;
    }
    if (info.uid == user.uid && (info.mode & 0600) == 0600) {
        out.push_back({"permissions", Severity::kOk, stated + "; you own it", ""});
        return;
    }
    if ((info.mode & 0006) == 0006) {
        out.push_back({"permissions", Severity::kOk, stated + "; everyone may use it", ""});
        return;
    }
    if ((info.mode & 0060) != 0060) {
        out.push_back({"permissions", Severity::kBlocker,
                       stated + ": neither you nor its group may read and write it",
                       "sudo chgrp dialout " + node + " && sudo chmod 0660 " + node +
                           " (until it is plugged in again; the system's udev rules normally "
                           "make serial devices root:dialout 0660)"});
        return;
    }
    out.push_back({"permissions", Severity::kOk, stated, ""});
    if (HasGroup(user.sessionGroups, info.gid)) {
        out.push_back({"group", Severity::kOk, "you (" + who + ") are in group " + group, ""});
    } else if (HasGroup(user.accountGroups, info.gid)) {
        out.push_back(
            {"group", Severity::kBlocker,
             "you (" + who + ") were added to group " + group +
                 " after this session began, so its programs are not in it yet",
             "log out and in again (or start a shell in the group: newgrp " + group + ")"});
    } else {
        out.push_back({"group", Severity::kBlocker,
                       "you (" + who + ") are not in group " + group + ", which may use " + node,
                       "sudo usermod -aG " + group + " $USER, then log out and in again"});
    }
}

void AdapterFinding(const PortFacts& port, std::vector<Finding>& out) {
    if (!port.device) {
        out.push_back({"adapter", Severity::kNote,
                       "no serial hardware known behind it (a pseudo-terminal or a link to one)",
                       ""});
        return;
    }
    const serial::SerialDevice& d = *port.device;
    const std::string described = serial::DescribeSerialDevice(d);
    if (!d.IsUsb()) {
        out.push_back({"adapter", Severity::kOk,
                       "a serial port of the machine" +
                           (d.driver.empty() ? std::string() : " (driver " + d.driver + ")"),
                       ""});
        return;
    }
    if (d.driver.empty()) {
        out.push_back({"adapter", Severity::kBlocker, described + ": no driver runs it",
                       "sudo modprobe usbserial vendor=0x" + d.vendorId + " product=0x" +
                           d.productId + ", or use a cable with a supported chip"});
        return;
    }
    const KnownChip* chip = FindChip(d.vendorId, d.productId);
    if (chip == nullptr) {
        out.push_back({"adapter", Severity::kOk, described, ""});
        return;
    }
    std::string text = std::string(chip->name) + ": " + described;
    if (*chip->remark != '\0')
        text += "; " + std::string(chip->remark);
    out.push_back({"adapter", chip->severity, text, ""});
}

void DaemonFindings(const SystemFacts& system, const PortFacts& port, std::vector<Finding>& out) {
    const bool usb = port.device && port.device->IsUsb();
    if (system.modemManagerPid == 0) {
        out.push_back({"modemmanager", Severity::kOk, "ModemManager is not running", ""});
    } else if (port.modemManagerIgnores) {
        out.push_back({"modemmanager", Severity::kOk,
                       "ModemManager runs and is told to leave this device alone", ""});
    } else if (usb) {
        out.push_back(
            {"modemmanager", Severity::kWarning,
             "ModemManager runs (PID " + std::to_string(system.modemManagerPid) +
                 ") and is not told to leave this adapter alone: when it is plugged in, it "
                 "sends AT probes that a radio in bootload mode takes for garbage, and holds "
                 "the port meanwhile",
             InstallRuleFix() + " (or: sudo systemctl stop ModemManager)"});
    } else {
        out.push_back(
            {"modemmanager", Severity::kOk, "ModemManager runs; it probes USB devices only", ""});
    }

    if (system.brlttyRulesFile.empty()) {
        out.push_back({"brltty", Severity::kOk, "brltty is not installed", ""});
    } else if (usb &&
               RulesClaim(system.brlttyRules, port.device->vendorId, port.device->productId)) {
        out.push_back({"brltty", Severity::kBlocker,
                       "brltty's rules (" + system.brlttyRulesFile + ") claim " +
                           port.device->vendorId + ":" + port.device->productId +
                           " adapters as braille displays: brltty takes the port when the "
                           "cable is plugged in",
                       "sudo apt-get remove brltty (when no braille display is used here), or: "
                       "sudo systemctl mask brltty-udev.service, then plug the cable in again"});
    } else {
        out.push_back({"brltty", Severity::kOk,
                       "brltty is installed; its rules do not claim this adapter", ""});
    }
}

void LatencyFinding(const PortFacts& port, std::vector<Finding>& out) {
    if (!port.device || !port.device->IsUsb())
        return;
    if (port.latencyTimerFile.empty()) {
        out.push_back({"latency", Severity::kOk,
                       "the driver (" + port.device->driver + ") has no latency timer", ""});
        return;
    }
    if (!port.latencyTimerMs) {
        out.push_back({"latency", Severity::kNote, port.latencyTimerFile + " cannot be read", ""});
        return;
    }
    const int ms = *port.latencyTimerMs;
    const std::string now = "latency timer " + std::to_string(ms) + " ms";
    if (ms <= 1) {
        out.push_back({"latency", Severity::kOk, now, ""});
    } else if (port.device->driver == "ftdi_sio") {
        out.push_back({"latency", Severity::kOk,
                       now + "; the updater asks for low latency when it opens the port, and "
                             "this driver then sets 1 ms",
                       ""});
    } else {
        out.push_back(
            {"latency", Severity::kWarning,
             now + ": each of the radio's short replies waits that long",
             "echo 1 | sudo tee " + port.latencyTimerFile + " (or " + InstallRuleFix() + ")"});
    }
}

void HolderFinding(const PortFacts& port, const std::string& node, std::vector<Finding>& out) {
    if (port.holderPid > 0) {
        const std::string pid = std::to_string(port.holderPid);
        const std::string name = port.holderName.empty() ? "a program" : port.holderName;
        std::string fix = "close " + name + " (PID " + pid + "), or: kill " + pid;
        if (port.holderName == "ModemManager")
            fix = "sudo systemctl stop ModemManager, then " + InstallRuleFix();
        else if (port.holderName == "brltty")
            fix = "sudo systemctl stop brltty; sudo apt-get remove brltty";
        out.push_back({"holder", Severity::kBlocker,
                       node + " is held by " + name + " (PID " + pid + ")", fix});
    } else if (port.lock.held) {
        const std::string pid = std::to_string(port.lock.pid);
        out.push_back({"holder", Severity::kBlocker,
                       "the lock file " + port.lock.path + " says PID " + pid + " uses " + node,
                       "close the program with PID " + pid + ", or: kill " + pid});
    } else {
        out.push_back({"holder", Severity::kOk, "no other program holds " + node, ""});
    }
}

void ComFinding(const PortFacts& port, const std::string& node, std::vector<Finding>& out) {
    if (!port.comNumbers.empty()) {
        std::string names;
        for (int n : port.comNumbers)
            names += (names.empty() ? "COM" : ", COM") + std::to_string(n);
        out.push_back({"com", Severity::kOk, names + " reaches " + node, ""});
        return;
    }
    const std::string target = port.device && !port.device->byId.empty() ? port.device->byId : node;
    out.push_back(
        {"com", Severity::kWarning,
         "no COM name reaches " + node + ": the window lists COM ports only",
         "mkdir -p ~/.config/quenta/ports && ln -s " + target + " ~/.config/quenta/ports/COM9"});
}

}  // namespace

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::kOk:
            return "ok";
        case Severity::kNote:
            return "note";
        case Severity::kWarning:
            return "warning";
        case Severity::kBlocker:
            break;
    }
    return "blocks";
}

bool RulesClaim(const std::string& rules, const std::string& vendorId,
                const std::string& productId) {
    const std::string vendor = Lower(vendorId);
    const std::string product = Lower(productId);
    // udev's PRODUCT variable spells the ids without leading zeros: "1a86/7523/264".
    const std::string productVariable =
        WithoutLeadingZeros(vendor) + "/" + WithoutLeadingZeros(product) + "/";
    std::istringstream lines(Lower(rules));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        if (line.find('"' + productVariable) != std::string::npos)
            return true;
        if (line.find("idvendor}==\"" + vendor + '"') != std::string::npos &&
            line.find("idproduct}==\"" + product + '"') != std::string::npos)
            return true;
    }
    return false;
}

std::vector<Finding> ExaminePort(const SystemFacts& system, const PortFacts& port) {
    std::vector<Finding> out;
    const std::string node = NodeOf(port);
    switch (port.check.kind) {
        case serial::FailureKind::kAbsent:
            out.push_back(
                {"device", Severity::kBlocker,
                 port.name + " reaches no device: " + serial::DescribeOpenFailure(port.check),
                 "plug the cable in; 'quenta ports' lists the ports that reach a "
                 "device, 'sudo dmesg | tail' what the kernel made of the cable"});
            DaemonFindings(system, port, out);
            return out;
        case serial::FailureKind::kNotSerial:
            out.push_back({"device", Severity::kBlocker, serial::DescribeOpenFailure(port.check),
                           "name the serial device ('quenta ports' lists them)"});
            return out;
        default:
            out.push_back({"device", Severity::kOk,
                           port.name == node ? node + " is present" : port.name + " is " + node,
                           ""});
            break;
    }
    AdapterFinding(port, out);
    AccessFindings(system, port, node, out);
    DaemonFindings(system, port, out);
    LatencyFinding(port, out);
    HolderFinding(port, node, out);
    ComFinding(port, node, out);
    return out;
}

std::vector<Finding> ExamineNoDevice(const SystemFacts& system) {
    std::vector<Finding> out;
    out.push_back({"device", Severity::kBlocker, "no serial port reaches a device",
                   "plug the cable in; 'sudo dmesg | tail' says what the kernel made of it"});
    if (!system.brlttyRulesFile.empty()) {
        std::string claimed;
        for (const KnownChip& chip : kKnownChips) {
            if (RulesClaim(system.brlttyRules, chip.vendorId, chip.productId))
                claimed += (claimed.empty() ? "" : ", ") + std::string(chip.name);
        }
        if (!claimed.empty())
            out.push_back({"brltty", Severity::kWarning,
                           "brltty's rules (" + system.brlttyRulesFile + ") claim " + claimed +
                               " adapters: brltty takes such a cable as soon as it is plugged "
                               "in, and its port goes away",
                           "sudo apt-get remove brltty (when no braille display is used here), "
                           "or: sudo systemctl mask brltty-udev.service"});
    }
    return out;
}

bool Blocks(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Severity::kBlocker; });
}

}  // namespace doctor
