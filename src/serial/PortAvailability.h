#pragma once

// The port scan's question: can COM n (or a device path) be opened now? Present, permitted,
// not held by another program. Uses the process's system layer (SystemSerialOs()), so its
// port directory and lock directories. See ProbeMode for how far a check goes; the passive
// default never opens the device.

#include <string>

#include "serial/OpenFailure.h"
#include "serial/PosixSerialOs.h"

namespace serial {

// kind kNone when the port could be opened now; otherwise why not, with the context that
// DescribeOpenFailure turns into a line for the user. device and node are filled either way
// (for a tool tip: "COM5: /dev/ttyUSB0").
OpenFailure CheckPort(const std::string& name, ProbeMode mode = ProbeMode::kPassive);
OpenFailure CheckComPort(int comNumber, ProbeMode mode = ProbeMode::kPassive);

inline bool IsAvailable(const OpenFailure& check) {
    return check.kind == FailureKind::kNone;
}

}  // namespace serial
