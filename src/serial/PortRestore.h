#pragma once

// The ports this process has changed, so that their settings go back as they were: at close,
// and on the way out of a signal that ends the program (RestoreAllPortSettings). A fixed
// table, no allocation: the signal path may run at any moment.

namespace serial {

// Saves the settings of the port open on fd and remembers it: an entry number, or -1 when the
// settings could not be read or the table is full (the port then keeps what it is given).
int KeepPortSettings(int fd);
// Puts entry's settings back on its port and forgets it; false when a setting could not be
// restored (a port that went away). Does nothing for -1.
bool RestorePortSettings(int entry);
// Puts back the settings of every port still remembered, without forgetting them (the port is
// closed by the process's exit). Async-signal-safe: only ioctl calls on descriptors.
void RestoreAllPortSettings() noexcept;

}  // namespace serial
