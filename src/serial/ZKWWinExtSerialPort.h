#pragma once

#include <string>

#include "serial/OpenFailure.h"
#include "serial/SerialOs.h"
#include "serial/ZKWWinExtSerialBase.h"

// The serial port on the operating system's serial interface (through serial::SerialOs).
// The port name may be a COM name ("\\.\COM5", "COM5"), resolved by the system layer, or a
// device path ("/dev/ttyUSB0").
class ZKWWinExtSerialPort : public ZKWWinExtSerialBase {
  public:
    // A port on the process's system layer (serial::SystemSerialOs()).
    ZKWWinExtSerialPort();
    // A port on the given layer, which must outlive the port.
    explicit ZKWWinExtSerialPort(serial::SerialOs& os);
    ~ZKWWinExtSerialPort() override;

    int SetBaud(int index) override;
    int SetDataBits(int n) override;
    int SetParity(int p) override;
    int SetStopBits(int s) override;
    int SetFlowControl(int mode) override;
    int SetTimeouts(int seconds, int milliseconds) override;
    bool Open() override;
    int Close() override;
    int Flush() override;
    int InputQueued() override;
    int BytesAvailable() override;
    bool ReadChar(char& out) override;
    bool WriteChar(char c) override;
    void Idle() override;
    void TranslateLineErrors(uint32_t flags) override;
    int SetDtr(bool on) override;
    int SetRts(bool on) override;
    unsigned ModemStatus() override;
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;

    // The operating system's error number (errno) of the last system call that failed.
    int OsError() const { return osError; }
    // Why the last Open failed (kind kNone after a successful Open).
    const serial::OpenFailure& LastOpenFailure() const { return openFailure; }
    // One line for the user about the last failure: the open failure when the last Open
    // failed, otherwise the system's text for OsError() (empty when nothing failed).
    std::string FailureText() const;

    serial::Handle Handle() const { return handle; }
    // The descriptor to wait on for input while open (see serial::SerialOs::Descriptor).
    int Descriptor() const { return opened ? os.Descriptor(handle) : -1; }
    const serial::LineSettings& Config() const { return config; }
    const serial::Timeouts& CommTimeouts() const { return timeouts; }

  private:
    // Writes config to the system: 1 on success, -1 on failure.
    int WriteConfig();
    int Result(bool ok);

    serial::SerialOs& os;
    serial::Handle handle = serial::kInvalidHandle;
    serial::LineSettings config;
    serial::Timeouts timeouts;
    int osError = 0;
    serial::OpenFailure openFailure;
};
