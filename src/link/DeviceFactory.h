#pragma once

#include <memory>
#include <string>

#include "serial/ZKWCommDevice.h"

// Creates and drives the direct serial device for the link. The program's factory makes a
// ZKWCommDeviceSerial; tests give the link a factory of fake devices.
class LinkDeviceFactory {
  public:
    virtual ~LinkDeviceFactory() = default;
    virtual std::unique_ptr<ZKWCommDevice> Create() = 0;
    // Opens COM port portNumber at baudIndex with 8N1 and the handshake; true when open.
    virtual bool OpenPort(ZKWCommDevice& device, int portNumber, int baudIndex, bool handshake) = 0;
    virtual int SetBaud(ZKWCommDevice& device, int baudIndex) = 0;
    // The file descriptor a message pump can watch for received bytes; -1 when there is none.
    virtual int Descriptor(ZKWCommDevice& /*device*/) { return -1; }
    // A human-readable reason for the last OpenPort failure (empty when unknown).
    virtual std::string LastOpenError(ZKWCommDevice& /*device*/) { return {}; }
};

// The factory of the program's direct serial devices.
std::unique_ptr<LinkDeviceFactory> MakeSerialDeviceFactory();
