#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "CodeplugScenario.h"
#include "FlashTarget.h"

// What the simulated radio is and how it misbehaves. Every field has a default, so an empty
// scenario is a well-behaved radio with boot and SEM versions and no interface box.
struct Scenario {
    using Bytes = std::vector<std::uint8_t>;
    // A command code as group * 256 + function (e.g. 0x041C).
    using Code = int;

    Bytes fileFormat = {5, 10};
    Bytes dsp = {1, 2, 3};
    Bytes controller = {4, 1, 12};
    Bytes hardware = {7, 8, 9};
    Bytes serial = {0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD};

    bool bootPresent = true;
    Bytes boot = {1, 9};
    int bootBusy = 0;  // busy replies before the boot version

    bool semPresent = true;
    Bytes sem = {2, 3};

    bool interfaceBox = false;
    Bytes boxData = {0, 0, 0, 0};

    int baud = 19200;      // the radio's line speed at start
    int replyDelayMs = 1;  // from the end of a request to the start of its reply

    // Line-rate mode: every byte takes its 10 bit times at the current rate in both directions,
    // a request is answered only once its last byte could have arrived, and the reply follows
    // after turnaroundUs (replyDelayMs is then not used).
    bool lineRate = false;
    int turnaroundUs = 0;

    // Busy replies (04 20) before the proper reply, per request code.
    std::map<Code, int> busy;
    // Request codes before whose reply an unprompted 07 25 frame is sent.
    std::vector<Code> unprompted0725;

    struct Fault {
        enum class Kind { kSilence, kGarbled, kWrongAddress, kBadChecksum };
        Code command = 0;
        Kind kind = Kind::kSilence;
        int times = 1;          // how many requests with this code get the fault
        bool thenReply = true;  // send the proper reply after the faulty one
    };
    std::vector<Fault> faults;
    // From the first request with this code on, the radio answers nothing (0: never).
    Code silentFrom = 0;

    // A fault placed by position on the line rather than by command: at the frame of this
    // index (0 first, every frame the radio or the box takes counts), or when the test calls
    // RadioSim::InjectNow. Garbled, bad-checksum and other-group spoil the next reply sent
    // (which then does not follow); the others last to the end of the run.
    struct LineFault {
        enum class Kind {
            kNone,
            kSilence,      // the radio answers nothing more
            kGarbled,      // the reply holds an escape no escape has
            kBadChecksum,  // the reply's checksum is off
            kHangUp,       // the line goes dead, as when the radio loses power
            kWrongRate,    // the radio's replies come at another rate: noise to the tool
            kOtherGroup,   // a message of another group in place of the reply
            kBusy,         // every request is answered busy, without end
        };
        Kind kind = Kind::kNone;
        int atFrame = -1;
    };
    LineFault lineFault;

    // The codeplug the radio holds and how it behaves while it is read or written.
    CodeplugScenario codeplug;

    // The flash and DSP downloads: processor byte, erase and restart times, faults. The reply
    // delay is replyDelayMs above.
    flashsim::Settings flash;
    flashsim::Faults flashFaults;

    // Parses a scenario; unknown keys are errors so that typos do not go unnoticed.
    static bool FromJson(const std::string& text, Scenario& out, std::string& error);
    // A scenario is a small JSON object; a longer file is refused rather than read whole.
    static constexpr std::size_t kMaxScenarioBytes = 1 << 20;
    static bool FromFile(const std::string& path, Scenario& out, std::string& error);
};

// "04 1C" <-> 0x041C.
bool ParseCode(const std::string& text, Scenario::Code& code);
std::string CodeText(Scenario::Code code);
