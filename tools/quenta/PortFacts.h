#pragma once

// What the port check looks at, gathered from the machine's folders (or folders shaped like
// them, which is how tests feed it): the user and the device, the daemons that grab serial
// adapters, the latency timer, who holds the port and which COM names reach it. Gathering only
// looks; it never opens a device.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "serial/ComPortListing.h"
#include "serial/OpenFailure.h"
#include "serial/PortLock.h"
#include "serial/SerialDevice.h"

namespace doctor {

// The folders facts come from.
struct FactRoots {
    std::string sysRoot = "/sys";
    std::string procRoot = "/proc";
    std::string udevDataDir = "/run/udev/data";  // udev's database of device properties
    std::vector<std::string> udevRulesDirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                              "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    std::vector<std::string> lockDirs;  // where UUCP lock files are looked for
};

// What holds for the whole machine.
struct SystemFacts {
    serial::UserInfo user;
    pid_t modemManagerPid = 0;    // 0 when ModemManager is not running
    std::string brlttyRulesFile;  // brltty's udev rules, empty when brltty is not installed
    std::string brlttyRules;      // their text
};

// What holds for one port.
struct PortFacts {
    std::string name;           // the port as the user named it ("COM5", "/dev/ttyUSB0")
    serial::OpenFailure check;  // where the name leads (device, node) and whether it opens
    std::optional<serial::SerialDevice> device;  // the serial device behind the node, if known
    serial::NodeInfo nodeInfo;
    std::vector<int> comNumbers;        // the COM entries that reach the node
    bool modemManagerIgnores = false;   // udev gave the device ID_MM_DEVICE_IGNORE=1
    std::string latencyTimerFile;       // the driver's latency_timer, empty when none
    std::optional<int> latencyTimerMs;  // its value now
    serial::LockHolder lock;            // a live UUCP lock file of the node
    pid_t holderPid = 0;                // another process with an flock on it or it open
    std::string holderName;
};

SystemFacts GatherSystemFacts(const FactRoots& roots, serial::UserInfo user);

// The facts of the port whose check is `check` (PosixSerialOs::Check of its name). `devices`
// are the machine's serial devices, `entries` its COM entries.
PortFacts GatherPortFacts(const FactRoots& roots, const std::string& name,
                          const serial::OpenFailure& check,
                          const std::vector<serial::SerialDevice>& devices,
                          const std::vector<serial::ComPortEntry>& entries);

// The value of a latency_timer file; empty when it cannot be read.
std::optional<int> ReadLatencyTimer(const std::string& file);

}  // namespace doctor
