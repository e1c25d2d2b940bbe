#include "link/DeviceFactory.h"

// Stand-in while the build has no serial device layer: opening the device transport fails.
std::unique_ptr<LinkDeviceFactory> MakeSerialDeviceFactory() {
    return nullptr;
}
