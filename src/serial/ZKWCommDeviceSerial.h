#pragma once

#include <memory>
#include <string>

#include "serial/ZKWCommDevice.h"

class ZKWWinExtSerialPort;

// The direct serial device: COM port n at a baud index, over one owned low-level port.
class ZKWCommDeviceSerial : public ZKWCommDevice {
  public:
    ZKWCommDeviceSerial();
    // A device over the given port (for instance one on a test's system layer).
    explicit ZKWCommDeviceSerial(std::unique_ptr<ZKWWinExtSerialPort> port);
    ~ZKWCommDeviceSerial() override;

    int Open() override;
    int Close() override;
    bool IsOpen() override;
    bool HasData() override;
    int ReadByte(char& out) override;
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int LastError() override;

    // Opens COM port portNumber at baudIndex (index into the port's baud table) with
    // 8 data bits, no parity, 1 stop bit and the given handshake. True when open.
    bool OpenPort(int portNumber, int baudIndex, bool handshake);
    int SetBaud(int baudIndex);
    int SetHandshake(bool on);

    ZKWWinExtSerialPort& Port() { return *port; }

    // While open, a descriptor that becomes readable when input arrives, for an event loop
    // to wait on once HasData has said false (-1 when closed): input a queue check has
    // already taken from the driver no longer shows on it.
    int Descriptor() const;

    // One line for the user about the last failure, e.g. after OpenPort returned false:
    // "permission denied: /dev/ttyUSB0 is root:dialout 0660 and you are not in the dialout
    // group (...)" or "busy: /dev/ttyUSB0 is in use by another program (PID 1234)".
    std::string FailureText() const;

  private:
    std::unique_ptr<ZKWWinExtSerialPort> port;
    bool handshake = false;
};
