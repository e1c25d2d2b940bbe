#include "FaultCells.h"

#include <algorithm>
#include <initializer_list>

#include "CellChecks.h"
#include "app/core/UpdaterTexts.h"
#include "download/DownloadTexts.h"

namespace faultmatrix {

namespace text = updater_text;

const char* Name(Transport t) {
    static const char* const kNames[] = {"direct", "component", "box"};
    return kNames[static_cast<int>(t)];
}

const char* Name(Phase p) {
    static const char* const kNames[] = {"probe",        "boot-read", "target-check", "loader",
                                         "erase-wait",   "code",      "restart-wait", "access-code",
                                         "format-query", "upload",    "conversion",   "download",
                                         "read-back"};
    return kNames[static_cast<int>(p)];
}

const char* Name(Fault f) {
    static const char* const kNames[] = {
        "silence",  "garbled",   "bad-sum",     "busy", "pair-sum",   "verify", "hang-up",
        "password", "block-sum", "other-group", "stop", "wrong-rate", "sighup", "sigpipe"};
    return kNames[static_cast<int>(f)];
}

const char* Name(Position p) {
    static const char* const kNames[] = {"", "first", "middle", "last", "last-pair", "end"};
    return kNames[static_cast<int>(p)];
}

std::string Cell::Label() const {
    std::string s = std::string(Name(transport)) + "/" + Name(phase) + "/" + Name(fault);
    if (position != Position::kOnly)
        s += std::string("/") + Name(position);
    return s;
}

const char* WaitStatus(Phase p) {
    switch (p) {
        case Phase::kEraseWait:
            return "Erasing flash";
        case Phase::kRestartWait:
            return text::kResetting;
        case Phase::kConversion:
            return text::kResettingConverting;
        default:
            return nullptr;
    }
}

namespace {

void Add(PhaseMap& map, Phase p, int frame) {
    map.frames[static_cast<int>(p)].push_back(frame);
}

bool HasBlocks(Phase p) {
    return p == Phase::kLoader || p == Phase::kCode || p == Phase::kUpload ||
           p == Phase::kDownload || p == Phase::kReadBack;
}

bool IsWait(Phase p) {
    return WaitStatus(p) != nullptr;
}

// The first, middle and last of n (pairs of an image, block-sum reports).
std::vector<std::pair<Position, int>> FirstMiddleLast(int n) {
    return {{Position::kFirst, 0}, {Position::kMiddle, n / 2}, {Position::kLast, n - 1}};
}

// The code a phase's block frames begin with.
const char* BlockCode(Phase p) {
    if (p == Phase::kLoader || p == Phase::kCode)
        return "02 09";
    return p == Phase::kUpload || p == Phase::kReadBack ? "03 08" : "03 02";
}

}  // namespace

PhaseMap MapFrames(const std::vector<LoggedFrame>& log, int codeplugReports) {
    PhaseMap map;
    map.codeplugReports = codeplugReports;
    int images = 0;
    bool codeplugWrite = false;
    bool writeEnded = false;
    int bootReads = 0;
    for (int i = 0; i < static_cast<int>(log.size()); ++i) {
        const std::string& p = log[static_cast<std::size_t>(i)].payload;
        if (log[static_cast<std::size_t>(i)].toBox) {
            Add(map, Phase::kProbe, i);
        } else if (Begins(p, "09 00")) {
            // rate changes have no reply and belong to no phase
        } else if (Begins(p, "04 2D") && images == 0) {
            Add(map, bootReads++ == 0 ? Phase::kBootRead : Phase::kTargetCheck, i);
        } else if (Begins(p, "02 01")) {
            if (i == 0 || !Begins(log[static_cast<std::size_t>(i - 1)].payload, "02 01"))
                ++images;
            Add(map, images == 1 ? Phase::kLoader : Phase::kCode, i);
        } else if (Begins(p, "02")) {
            Add(map, images <= 1 ? Phase::kLoader : Phase::kCode, i);
        } else if (Begins(p, "04 04") && images >= 2) {
            Add(map, Phase::kAccessCode, i);
        } else if (Begins(p, "04 1C") && images >= 2) {
            Add(map, Phase::kFormatQuery, i);
        } else if (Begins(p, "03")) {
            // The write ends with 03 04; the upload after it reads the codeplug back.
            codeplugWrite = codeplugWrite || Begins(p, "03 00");
            Add(map,
                writeEnded      ? Phase::kReadBack
                : codeplugWrite ? Phase::kDownload
                                : Phase::kUpload,
                i);
            writeEnded = writeEnded || (codeplugWrite && Begins(p, "03 04"));
        }
    }
    for (Phase p :
         {Phase::kLoader, Phase::kCode, Phase::kUpload, Phase::kDownload, Phase::kReadBack}) {
        for (int f : map.Of(p)) {
            if (Begins(log[static_cast<std::size_t>(f)].payload, BlockCode(p)))
                map.blocks[static_cast<int>(p)].push_back(f);
        }
    }
    return map;
}

std::vector<Cell> CellsFor(Transport transport, const PhaseMap& map) {
    std::vector<Cell> cells;
    const std::initializer_list<Fault> lineFaults = {
        Fault::kSilence, Fault::kGarbled,    Fault::kBadChecksum, Fault::kBusy,
        Fault::kHangUp,  Fault::kOtherGroup, Fault::kStop,        Fault::kWrongRate};
    for (int pi = 0; pi <= static_cast<int>(Phase::kReadBack); ++pi) {
        const Phase phase = static_cast<Phase>(pi);
        // Family 1 probes for the box; with the box answering, the rest of the update is the
        // direct transport's, so the box is swept in the probe alone.
        const bool probes = transport != Transport::kDirect;
        if (phase == Phase::kProbe ? !probes : transport == Transport::kBox)
            continue;
        const std::vector<int>& in = map.Of(phase);
        std::vector<std::pair<Position, int>> places;
        if (IsWait(phase)) {
            places.push_back({Position::kOnly, -1});
        } else if (in.empty()) {
            continue;
        } else if (!HasBlocks(phase)) {
            places.push_back({Position::kOnly, in.front()});
        } else {
            // The first, middle and last block, and the last exchange of the phase: the verdict
            // on an image's last pair, the last answer before a codeplug transfer's end. The
            // write's end itself, 03 04, has no answer: only the read-back after it can tell a
            // radio lost just then from one that stored the codeplug.
            const std::vector<int>& blocks = map.BlocksOf(phase);
            if (blocks.empty())
                continue;
            const bool transfer =
                phase == Phase::kUpload || phase == Phase::kDownload || phase == Phase::kReadBack;
            const int lastExchange = transfer && in.size() >= 2 ? in[in.size() - 2] : in.back();
            places = {{Position::kFirst, blocks.front()},
                      {Position::kMiddle, blocks[blocks.size() / 2]},
                      {Position::kLast, blocks.back()},
                      {Position::kLastPair, lastExchange}};
            if (phase == Phase::kDownload)
                places.push_back({Position::kEnd, in.back()});
        }
        // A new cell of this phase, added to the list.
        auto add = [&](Fault f, Position position) -> Cell& {
            Cell& c = cells.emplace_back();
            c.transport = transport;
            c.phase = phase;
            c.fault = f;
            c.position = position;
            return c;
        };
        for (Fault f : lineFaults) {
            for (const auto& [position, frame] : places) {
                Cell& c = add(f, position);
                c.atFrame = frame;
                if (IsWait(phase))
                    c.atStatus = WaitStatus(phase);
            }
        }
        if (phase == Phase::kLoader || phase == Phase::kCode) {
            const int pairs = std::max<int>(1, static_cast<int>(map.BlocksOf(phase).size()) / 2);
            for (Fault f : {Fault::kWrongPairSum, Fault::kVerifyFail}) {
                for (const auto& [position, pair] : FirstMiddleLast(pairs)) {
                    Cell& c = add(f, position);
                    c.image = phase == Phase::kLoader ? 0 : 1;
                    c.pair = pair;
                }
            }
        }
        if (phase == Phase::kUpload)
            add(Fault::kRefusedPassword, Position::kOnly);
        // The real program in a child process, over the serial device: signals and a lost
        // output hit the process, not the line, so one transport is enough.
        if (transport == Transport::kDirect) {
            for (Fault f : {Fault::kSigHup, Fault::kSigPipe})
                add(f, Position::kOnly);
        }
        if (phase == Phase::kDownload && map.codeplugReports > 0) {
            for (const auto& [position, report] : FirstMiddleLast(map.codeplugReports))
                add(Fault::kWrongBlockSum, position).report = report;
        }
    }
    return cells;
}

bool InSlice(const Cell& cell) {
    // Every fault and every phase at least once, both transports, a few blocks.
    static const char* const kSlice[] = {
        "direct/boot-read/garbled",
        "direct/target-check/silence",
        "direct/loader/pair-sum/first",
        "direct/code/verify/middle",
        "direct/code/hang-up/middle",
        "direct/code/busy/middle",
        "direct/erase-wait/stop",
        "direct/restart-wait/hang-up",
        "direct/access-code/bad-sum",
        "direct/format-query/wrong-rate",
        "direct/upload/other-group/middle",
        "direct/upload/password",
        "direct/conversion/stop",
        "direct/download/block-sum/middle",
        "direct/download/silence/last-pair",
        "direct/download/garbled/middle",
        "direct/download/hang-up/end",
        "direct/read-back/silence/middle",
        "component/probe/busy",
        "component/target-check/busy",
        "component/code/busy/middle",
        "component/code/silence/last",
        "component/upload/silence/middle",
        "component/download/hang-up/last",
        "component/download/busy/middle",
        "box/probe/garbled",
        "box/probe/hang-up",
        "direct/code/sighup",
    };
    const std::string label = cell.Label();
    return std::find(std::begin(kSlice), std::end(kSlice), label) != std::end(kSlice);
}

namespace {

bool DownloadFailure(const std::string& s) {
    return s == dltext::kCodeTimedOut || s == dltext::kCodeCommProblem ||
           Begins(s, dltext::kVerifyFailedPrefix);
}

bool CodeplugFailure(const std::string& s) {
    return s == text::kNoLongerResponding || s == text::kUploadError ||
           s == text::kCodeplugCancelled || Begins(s, text::kDownloadError) ||
           Begins(s, text::kNotHeld);
}

}  // namespace

bool EndAllowed(const Cell& cell, const std::string& status) {
    if (status == text::kDone) {
        // A spoilt reply is asked for again or its exchange repeated; Stop after the radio has
        // confirmed the whole codeplug comes too late to matter.
        const bool spoilt = cell.fault == Fault::kGarbled || cell.fault == Fault::kBadChecksum ||
                            cell.fault == Fault::kOtherGroup;
        const bool lateStop = cell.fault == Fault::kStop && cell.phase == Phase::kDownload &&
                              cell.position == Position::kLastPair;
        // A write that failed or that its read-back did not find is offered again (the view
        // answers Yes): a fault that passes, such as a single wrong block sum, ends there.
        const bool writtenAgain = cell.fault != Fault::kStop && (cell.phase == Phase::kDownload ||
                                                                 cell.phase == Phase::kReadBack);
        return spoilt || lateStop || writtenAgain;
    }
    switch (cell.phase) {
        case Phase::kProbe:
            // Without an answer from the box the port component is tried; a line that died
            // or a Stop while the port opens leaves the window idle with the reason shown.
            return status == text::kBootReadError || status == text::kIdle;
        case Phase::kBootRead:
            return status == text::kBootReadError;
        case Phase::kTargetCheck:
            // The port component takes a target check with no answer as "No Boot Info." and
            // goes on to the download, which then fails.
            return status == text::kTargetReadError || DownloadFailure(status);
        case Phase::kLoader:
        case Phase::kEraseWait:
            return DownloadFailure(status);
        case Phase::kCode:
            // At the image's end the fault strikes the restart that follows.
            return DownloadFailure(status) || CodeplugFailure(status);
        default:
            return CodeplugFailure(status);
    }
}

}  // namespace faultmatrix
