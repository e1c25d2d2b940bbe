#pragma once

// The COM entries a technician can pick from, each with what stands behind it: the device it
// resolves to, whether it can be opened now, and the adapter's identity where the system
// knows it. The COM numbering is the resolver's; this only puts names to it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/OpenFailure.h"
#include "serial/SerialDevice.h"

namespace serial {

struct ComPortEntry {
    int comNumber = 0;
    OpenFailure check;                   // kind kNone when the port can be opened now
    std::optional<SerialDevice> device;  // the device whose node the entry reaches, if known
};

// The check of COM n (PosixSerialOs::Check of "COMn" on a running system).
using ComPortCheck = std::function<OpenFailure(int comNumber)>;

// The real node a device path stands for (links followed); the path itself when it cannot be
// followed.
std::string RealNode(const std::string& path);

// COM 1 to 64 in order: those that resolve to a device present now, and every entry of the
// port directory (a dangling link too, so that the user sees their own link is broken). Each
// carries the device among `devices` whose node is the one the entry reaches.
std::vector<ComPortEntry> ListComPorts(const ComPortCheck& check,
                                       const std::vector<SerialDevice>& devices);

// The device among `devices` that COM entry `check` reaches, if any.
std::optional<SerialDevice> DeviceOf(const OpenFailure& check,
                                     const std::vector<SerialDevice>& devices);

}  // namespace serial
