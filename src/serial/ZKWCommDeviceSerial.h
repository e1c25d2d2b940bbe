#pragma once

#include <memory>

#include "serial/ZKWCommDevice.h"

class ZKWWinExtSerialPort;

// The direct serial device: COM port n at a baud index, over one owned low-level port.
class ZKWCommDeviceSerial : public ZKWCommDevice {
public:
    ZKWCommDeviceSerial();
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

private:
    std::unique_ptr<ZKWWinExtSerialPort> port;
    bool handshake = false;
};
