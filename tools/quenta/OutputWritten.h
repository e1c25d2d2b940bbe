#pragma once

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

// Whether all a command printed on standard output reached it. A full disk or a closed
// descriptor lost the command's result: that is said on stderr ("quenta COMMAND: ..."), and
// the command fails rather than report a success nobody saw.
inline bool OutputWritten(const char* command) {
    std::cout.flush();
    if (std::cout)
        return true;
    // The write that failed left its cause; nothing was written after it.
    const int cause = errno;
    std::cerr << "quenta " << command << ": the output could not be written"
              << (cause != 0 ? std::string(" (") + std::strerror(cause) + ")" : std::string())
              << "\n";
    return false;
}
