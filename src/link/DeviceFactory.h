#pragma once

#include <memory>

#include "link/LinkTransport.h"

// Makes the direct serial device transport for the link. The program's factory makes it over a
// ZKWCommDeviceSerial; tests give the link a factory of transports on fake lines.
class LinkDeviceFactory {
  public:
    virtual ~LinkDeviceFactory() = default;
    // A transport over COM port portNumber with 8N1 and the handshake, not yet open.
    virtual std::unique_ptr<LinkTransport> Create(int portNumber, bool handshake) = 0;
};

// The factory of the program's direct serial devices.
std::unique_ptr<LinkDeviceFactory> MakeSerialDeviceFactory();
