#include "serial/PortRestore.h"

#include <atomic>
#include <csignal>

#include "serial/LinuxTty.h"

namespace serial {

namespace {

// More ports than one process ever opens at once.
constexpr int kEntries = 16;

struct Entry {
    // Set last when an entry is filled and first when it is emptied, so a signal handler
    // never reads a half-written entry.
    volatile std::sig_atomic_t used = 0;
    int fd = -1;
    linux_tty::SavedSettings saved;
};

Entry entries[kEntries];

}  // namespace

int KeepPortSettings(int fd) {
    for (int i = 0; i < kEntries; ++i) {
        Entry& e = entries[i];
        if (e.used)
            continue;
        if (!linux_tty::SaveSettings(fd, e.saved))
            return -1;
        e.fd = fd;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        e.used = 1;
        return i;
    }
    return -1;
}

bool RestorePortSettings(int entry) {
    if (entry < 0 || entry >= kEntries || !entries[entry].used)
        return true;
    Entry& e = entries[entry];
    const bool ok = linux_tty::RestoreSettings(e.fd, e.saved);
    e.used = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    e.fd = -1;
    return ok;
}

void RestoreAllPortSettings() noexcept {
    for (Entry& e : entries) {
        if (e.used)
            linux_tty::RestoreSettings(e.fd, e.saved);
    }
}

}  // namespace serial
