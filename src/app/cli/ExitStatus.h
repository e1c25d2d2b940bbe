#pragma once

// The exit statuses of every quenta command. Scripts act on these numbers, so they never
// change meaning; a command uses the ones that can happen to it.
enum class ExitStatus : int {
    kDone = 0,     // "Done.", a finished boot or DSP download, a boot that is current
    kFailed = 1,   // the radio or a file failed; the last status line or stderr says why
    kUsage = 2,    // wrong arguments, or a file or folder they name cannot be used
    kStopped = 3,  // stopped by Ctrl-C or a signal that ends the session
    kNotRun = 4,   // the password was wrong or not given, or a restore was declined: nothing
                   // was done
    // quenta update: the firmware is updated but the radio's codeplug (or the format its new
    // firmware expects) is older than 5.8 and was not converted; the radio cannot use it
    kCodeplugNotConverted = 5,
};

constexpr int ToInt(ExitStatus status) {
    return static_cast<int>(status);
}
