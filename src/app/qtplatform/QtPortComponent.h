#pragma once

#include <QSerialPort>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "link/Platform.h"

class QTimer;

// The buffered serial port component over QSerialPort: 19200 baud, 8N1, no flow control,
// 4096-byte buffers, one-shot timer triggers in ticks of 1/18 s delivered through the event
// loop, and a tick delay that keeps the loop running.
class QtPortComponent : public PortComponent {
  public:
    static constexpr int kBufferSize = 4096;
    // Maps a COM number to the device to open.
    using Resolver = std::function<std::string(int portNumber)>;

    explicit QtPortComponent(Resolver resolver = DefaultResolver);
    ~QtPortComponent() override;

    // COM n through the serial layer's resolver: the port directory, then the default table.
    static std::string DefaultResolver(int portNumber);

    void SetComNumber(int portNumber) override { comNumber_ = portNumber; }
    int ComNumber() const override { return comNumber_; }
    void SetRS485Mode(bool on) override { rs485_ = on; }
    bool RS485Mode() const override { return rs485_; }
    int SetOpen(bool open) override;
    bool Open() const override { return port_.isOpen(); }
    std::string LastErrorText() const override { return lastError_; }
    void SetBaud(int baud) override;
    int Baud() const override { return baud_; }
    void FlushInBuffer() override;
    void FlushOutBuffer() override;
    int OutBuffUsed() override;
    int OutBuffFree() override;
    bool CTS() override;
    int PutBlock(const void* data, int count) override;
    bool CharReady() override;
    std::uint8_t GetChar() override;
    int AddTimerTrigger() override;
    void SetTimerTrigger(int handle, int ticks, bool activate) override;
    void RemoveTrigger(int handle) override;
    void SetOnTriggerTimer(std::function<void(int handle)> handler) override {
        onTrigger_ = std::move(handler);
    }
    void DelayTicks(int ticks, bool yield) override;

    // The device path the last SetOpen(true) used.
    const std::string& DevicePath() const { return path_; }

  private:
    Resolver resolver_;
    QSerialPort port_;
    int comNumber_ = 1;
    bool rs485_ = false;
    int baud_ = 19200;
    std::string path_;
    std::string lastError_;
    int nextHandle_ = 1;
    std::map<int, std::unique_ptr<QTimer>> triggers_;
    std::function<void(int)> onTrigger_;
};

// Milliseconds of a number of component ticks (18 to the second).
int TicksToMilliseconds(int ticks);
