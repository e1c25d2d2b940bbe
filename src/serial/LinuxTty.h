#pragma once

// The Linux kernel's terminal interface (termios2, serial_struct, error counters, RS-485),
// kept in its own translation unit: <asm/termbits.h>, which arbitrary baud rates need, cannot
// be included together with <termios.h>. Every function returns false (or 0) with errno set
// on failure.

#include <cstdint>

#include "serial/SerialOs.h"

namespace serial::linux_tty {

// The line settings of the terminal fd (on a pseudo-terminal master: of its slave). The RTS
// control is reported as handshake under CRTSCTS, else as the current RTS line (enable when
// the line cannot be read).
bool ReadLineSettings(int fd, LineSettings& out);

// Puts the terminal into raw mode (no line editing, echo, signals or output processing;
// receiver on; modem lines ignored) with the given rate, character format and flow control.
// Standard rates use their B-codes, any other rate the arbitrary-rate interface. Refuses
// (EINVAL) byte sizes outside 5-8, unknown parity or stop-bit codes, 5 data bits with 2 stop
// bits, 6-8 data bits with 1.5 stop bits and the rate 0. Does not touch the control lines.
bool WriteLineSettings(int fd, const LineSettings& settings);

// The output rate of fd, any value; 0 on failure.
uint32_t ReadBaudRate(int fd);

// Line-error counts since the driver started counting.
struct ErrorCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufferOverrun = 0;
};
bool ReadErrorCounters(int fd, ErrorCounters& out);

// Asks the driver for low latency (FTDI adapters otherwise hold short replies up to 16 ms).
// False where the driver has no such setting. SaveSettings beforehand keeps what to put back.
bool EnableLowLatency(int fd);

// A port's settings as they were before this program changed them: the terminal settings
// and the driver's low-latency flag. Opaque here: the kernel's terminal record cannot be
// named next to <termios.h>.
struct SavedSettings {
    alignas(8) unsigned char termios[64] = {};
    bool haveTermios = false;
    bool haveLowLatency = false;  // the driver has the flag
    bool lowLatency = false;
};
// Reads what Restore puts back; false when not even the terminal settings could be read.
bool SaveSettings(int fd, SavedSettings& out);
// Puts the saved settings back (ioctl only, so it may run in a signal handler); false when a
// setting could not be restored.
bool RestoreSettings(int fd, const SavedSettings& saved);

// RS-485 style RTS: active only while transmitting. False where the driver cannot do it.
bool SetRtsOnSend(int fd, bool on);

}  // namespace serial::linux_tty
