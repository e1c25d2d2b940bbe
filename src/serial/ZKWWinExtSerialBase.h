#pragma once

#include <cstdint>
#include <string>

// The settings of one serial port and the port operations, in a fixed virtual slot order.
// Every setter stores its setting; an implementation applies it at once when the port is
// open. Results: positive for success, 0 for nothing done, -1 for failure; the reason of the
// last failure is LastError() (codes below).
class ZKWWinExtSerialBase {
  public:
    // Codes kept in lastError.
    static constexpr int kErrorNone = 0;
    static constexpr int kErrorMode = 1;
    static constexpr int kErrorBreak = 6;
    static constexpr int kErrorFrame = 7;
    static constexpr int kErrorIo = 8;
    static constexpr int kErrorOverrun = 9;
    static constexpr int kErrorRxOver = 10;
    static constexpr int kErrorRxParity = 11;
    static constexpr int kErrorTxFull = 12;
    static constexpr int kErrorRead =
        13;  // a read failed or returned nothing although bytes were queued
    static constexpr int kErrorWrite = 14;  // a write failed

    // Baud indices the radio link uses.
    static constexpr int kBaud9600 = 12;
    static constexpr int kBaud19200 = 14;
    static constexpr int kBaud38400 = 15;
    static constexpr int kBaud57600 = 17;
    static constexpr int kBaud115200 = 19;
    static constexpr int kBaudTableSize = 22;

    // The rate of a baud index, 0 for an index outside the table (which changes no rate).
    static uint32_t BaudRateOf(int index);
    // The index SetBaud stores for index: 0, 1, 3, 4, 5 become 2; 9 becomes 8; 18 becomes 17.
    static uint8_t NormalisedBaudIndex(int index);

    ZKWWinExtSerialBase();
    ZKWWinExtSerialBase(const ZKWWinExtSerialBase&) = delete;
    ZKWWinExtSerialBase& operator=(const ZKWWinExtSerialBase&) = delete;

    /* 0 */ virtual ~ZKWWinExtSerialBase() = default;
    /* 1 */ virtual void SetDefaults();
    /* 2 */ virtual void SetPortName(const std::string& name);
    /* 3 */ virtual const std::string& PortName() const;
    /* 4 */ virtual int SetBaud(int index) = 0;
    /* 5 */ virtual int Baud() const;
    /* 6 */ virtual int SetDataBits(int n) = 0;
    /* 7 */ virtual int DataBits() const;
    /* 8 */ virtual int SetParity(int p) = 0;
    /* 9 */ virtual int Parity() const;
    /* 10 */ virtual int SetStopBits(int s) = 0;
    /* 11 */ virtual int StopBits() const;
    /* 12 */ virtual int SetFlowControl(int mode) = 0;
    /* 13 */ virtual int FlowControl() const;
    /* 14 */ virtual int SetTimeouts(int seconds, int milliseconds) = 0;
    /* 15 */ virtual bool Open() = 0;
    /* 16 */ virtual bool IsOpen() const;
    /* 17 */ virtual int Close() = 0;
    /* 18 */ virtual int Flush() = 0;
    /* 19 */ virtual int InputQueued() = 0;
    /* 20 */ virtual int BytesAvailable() = 0;
    /* 21 */ virtual bool HasInput();
    /* 22 */ virtual bool ReadChar(char& out) = 0;
    /* 23 */ virtual bool WriteChar(char c) = 0;
    /* 24 */ virtual void Idle() = 0;
    /* 25 */ virtual int ReadLine(char* buffer, int room);
    /* 26 */ virtual int LastError() const;
    /* 27 */ virtual void TranslateLineErrors(uint32_t flags) = 0;
    /* 28 */ virtual int SetDtr(bool on) = 0;
    /* 29 */ virtual int SetRts(bool on) = 0;
    /* 30 */ virtual unsigned ModemStatus() = 0;
    /* 31 */ virtual int Read(void* buffer, int count) = 0;
    /* 32 */ virtual int Write(const void* buffer, int count) = 0;

  protected:
    std::string portName;
    uint8_t opened = 0;
    uint8_t baudIndex = kBaud19200;
    uint8_t dataBits = 3;     // 0-3: 5, 6, 7, 8 data bits
    uint8_t parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;     // 0: 1, 1: 1.5, 2: 2 stop bits
    uint8_t flowControl = 0;  // 0 none, 1 hardware, 2 software, 3 hardware with RTS toggle
    int32_t timeoutSeconds = 0;
    int32_t timeoutMilliseconds = 500;
    // Set to 0 here rather than left indeterminate, so that a read of it is never undefined.
    int32_t lastError = kErrorNone;
};
