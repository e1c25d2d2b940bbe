#pragma once

#include <memory>

#include "link/DeviceFactory.h"
#include "link/LinkTransport.h"

class ZKWCommDeviceSerial;

// Settle time after telling the radio to change rate on the device transport.
constexpr int kRateChangePauseMs = 100;

// The direct serial device as the link's transport: COM port n through the device, which
// owns its low-level port. The device keeps no buffer and never waits; a write returns once
// the bytes have left the driver.
class DeviceTransport : public LinkTransport {
  public:
    DeviceTransport(int portNumber, bool handshake);
    // A transport over the given device (for instance one whose port runs on a test's system
    // layer).
    DeviceTransport(int portNumber, bool handshake, std::unique_ptr<ZKWCommDeviceSerial> device);
    // Destroying the device closes its port if open.
    ~DeviceTransport() override;

    TransportOpen Open(int baud) override;
    void Close() override;
    bool IsOpen() override;
    void SetRate(int baud) override;
    int Write(const std::uint8_t* bytes, int count) override;
    int BytesWaiting() override;
    bool ReadByte(std::uint8_t& byte) override;
    void Drain(int limitMs) override;
    int Descriptor() override;
    int QuietWaitLimitMs() override;
    TransportError LastError() const override { return error_; }
    std::string LastErrorText() const override;
    bool RepeatsBusyReplies() const override { return false; }
    int RateChangeSettleMs() const override { return kRateChangePauseMs; }

    ZKWCommDeviceSerial& Device() { return *device_; }

  private:
    // Records why the port's last call failed.
    void NoteFailure();

    std::unique_ptr<ZKWCommDeviceSerial> device_;
    int portNumber_;
    bool handshake_;
    TransportError error_ = TransportError::kNone;
};
