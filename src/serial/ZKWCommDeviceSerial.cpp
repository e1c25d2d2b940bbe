#include "serial/ZKWCommDeviceSerial.h"

#include <string>

#include "serial/ZKWWinExtSerialPort.h"

namespace {

constexpr int kDataBits8 = 3;
constexpr int kOneStopBit = 0;
constexpr int kNoParity = 0;
constexpr int kFlowNone = 0;
constexpr int kFlowHardwareRtsToggle = 3;
constexpr int kTimeoutSeconds = 2;
constexpr int kTimeoutMilliseconds = 0;

}  // namespace

ZKWCommDeviceSerial::ZKWCommDeviceSerial()
    : ZKWCommDeviceSerial(std::make_unique<ZKWWinExtSerialPort>()) {}

ZKWCommDeviceSerial::ZKWCommDeviceSerial(std::unique_ptr<ZKWWinExtSerialPort> ownedPort)
    : port(std::move(ownedPort)) {
    kind = 2;
}

// Destroying the port closes its handle if open, without the flush Close performs.
ZKWCommDeviceSerial::~ZKWCommDeviceSerial() = default;

int ZKWCommDeviceSerial::Open() {
    port->Open();
    if (port->IsOpen()) {
        port->Flush();
        return 1;
    }
    return -1;
}

int ZKWCommDeviceSerial::Close() {
    port->Flush();
    port->Close();
    return 1;
}

bool ZKWCommDeviceSerial::IsOpen() {
    return port->IsOpen();
}

bool ZKWCommDeviceSerial::HasData() {
    return port->BytesAvailable() > 0;
}

int ZKWCommDeviceSerial::ReadByte(char& out) {
    return Read(&out, 1);
}

int ZKWCommDeviceSerial::Read(void* buffer, int count) {
    return port->Read(buffer, count);
}

int ZKWCommDeviceSerial::Write(const void* buffer, int count) {
    return port->Write(buffer, count);
}

int ZKWCommDeviceSerial::LastError() {
    return port->LastError();
}

bool ZKWCommDeviceSerial::OpenPort(int portNumber, int baudIndex, bool on) {
    // The port keeps its own copy of the name.
    port->SetPortName("\\\\.\\COM" + std::to_string(portNumber));
    if (Open() == -1)
        return false;
    port->SetBaud(baudIndex);
    port->SetDataBits(kDataBits8);
    port->SetStopBits(kOneStopBit);
    port->SetParity(kNoParity);
    SetHandshake(on);
    port->SetTimeouts(kTimeoutSeconds, kTimeoutMilliseconds);
    return true;
}

int ZKWCommDeviceSerial::SetBaud(int baudIndex) {
    return port->SetBaud(baudIndex);
}

int ZKWCommDeviceSerial::SetHandshake(bool on) {
    handshake = on;
    return port->SetFlowControl(on ? kFlowHardwareRtsToggle : kFlowNone);
}

int ZKWCommDeviceSerial::Descriptor() const {
    return port->Descriptor();
}

std::string ZKWCommDeviceSerial::FailureText() const {
    return port->FailureText();
}
