#include "serial/PortAvailability.h"

namespace serial {

OpenFailure CheckPort(const std::string& name, ProbeMode mode) {
    return SystemSerialOs().Check(name, mode);
}

OpenFailure CheckComPort(int comNumber, ProbeMode mode) {
    return CheckPort("COM" + std::to_string(comNumber), mode);
}

}  // namespace serial
