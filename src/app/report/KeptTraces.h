#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "link/RadioLink.h"

// The wire traces every run that talks to a radio keeps for a support report, whether or not
// the user asked for one: a technician who calls for help has the frames of the run that went
// wrong. Only the last kKeptRuns are kept; the folder is 0700 and each trace 0600.
namespace report {

constexpr int kKeptRuns = 20;

// $XDG_STATE_HOME/quenta/traces, else ~/.local/state/quenta/traces (home from the password
// database); empty when the user has no home folder.
std::filesystem::path DefaultTraceFolder();

// The traces of folder, oldest first (their names begin with the run's UTC time).
std::vector<std::filesystem::path> KeptTraceFiles(const std::filesystem::path& folder);

// One run's trace. The file is made at the first frame, so a run that never reached a radio
// (a usage error, a missing port) pushes no older trace out. Writes are buffered and never
// synced: the trace costs the link next to nothing. Losing it is no failure of the run.
class KeptTrace {
  public:
    // run names the run in the file name and the first line ("update", "window").
    KeptTrace(std::filesystem::path folder, std::string run);
    ~KeptTrace();
    KeptTrace(const KeptTrace&) = delete;
    KeptTrace& operator=(const KeptTrace&) = delete;

    // Writes one frame: milliseconds since the first frame, W or R, the bytes in hexadecimal.
    void Write(char direction, const std::uint8_t* bytes, int count, std::int64_t ms);
    // A sink that writes into this trace (which must outlive the link's use of it).
    RadioLink::TraceSink Sink();
    // Ends the trace; later frames start no new one.
    void Close();
    // The file of this run; empty until the first frame, or when it could not be made.
    const std::filesystem::path& Path() const { return path_; }

  private:
    bool Open();
    std::string FileStem(std::time_t now) const;

    std::filesystem::path folder_;
    std::string run_;
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    bool tried_ = false;
    std::int64_t start_ = 0;
};

}  // namespace report
