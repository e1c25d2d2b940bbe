#pragma once

// The cells of the fault matrix: one fault, placed in one phase of a whole update (and at one
// block of it, where the phase has blocks), over one transport. The frames of a fault-free
// run tell where each phase lies on the line.
#include <string>
#include <vector>

namespace faultmatrix {

enum class Transport { kDirect, kComponent, kBox };
enum class Phase {
    kProbe,
    kBootRead,
    kTargetCheck,
    kLoader,
    kEraseWait,
    kCode,
    kRestartWait,
    kAccessCode,
    kFormatQuery,
    kUpload,
    kConversion,
    kDownload,
    kReadBack,
};
enum class Fault {
    kSilence,
    kGarbled,
    kBadChecksum,
    kBusy,
    kWrongPairSum,
    kVerifyFail,
    kHangUp,
    kRefusedPassword,
    kWrongBlockSum,
    kOtherGroup,
    kStop,
    kWrongRate,
    kSigHup,   // the program gets SIGHUP (its terminal closed) as the phase begins
    kSigPipe,  // the program's output loses its reader as the phase begins
};
enum class Position { kOnly, kFirst, kMiddle, kLast, kLastPair, kEnd };

const char* Name(Transport t);
const char* Name(Phase p);
const char* Name(Fault f);
const char* Name(Position p);

// The status a wait phase begins with (the other phases begin with a frame), or nullptr.
const char* WaitStatus(Phase p);

// One frame the radio took in a fault-free run.
struct LoggedFrame {
    bool toBox = false;
    std::string payload;  // hexadecimal, "02 01 ..."
};

struct Cell {
    Transport transport = Transport::kDirect;
    Phase phase = Phase::kProbe;
    Fault fault = Fault::kSilence;
    Position position = Position::kOnly;
    int atFrame = -1;      // the fault starts when the radio takes this frame ...
    std::string atStatus;  // ... or when the window shows this status (the waits)
    int image = -1;        // pair faults: the image (0 the loader) and the pair in it
    int pair = -1;
    int report = -1;  // block-sum fault: the report (0 first)

    std::string Label() const;
};

// Where the phases lie in a fault-free run's frames: the frame indices of each phase.
struct PhaseMap {
    std::vector<int> frames[static_cast<int>(Phase::kReadBack) + 1];
    // The phases with blocks: the frames that carry (or ask for) them.
    std::vector<int> blocks[static_cast<int>(Phase::kReadBack) + 1];
    int codeplugReports = 0;  // block-sum reports the radio sent during the write
    const std::vector<int>& Of(Phase p) const { return frames[static_cast<int>(p)]; }
    const std::vector<int>& BlocksOf(Phase p) const { return blocks[static_cast<int>(p)]; }
};
PhaseMap MapFrames(const std::vector<LoggedFrame>& log, int codeplugReports);

// Every cell for this transport, placed with its fault-free run's map.
std::vector<Cell> CellsFor(Transport transport, const PhaseMap& map);
// The representative slice: every fault in one phase of each kind, the middle of blocks.
bool InSlice(const Cell& cell);

// The status the update may end with when this cell's fault strikes ("Done." among them only
// where the update can get over the fault).
bool EndAllowed(const Cell& cell, const std::string& status);

}  // namespace faultmatrix
