#pragma once

#include <cstdio>
#include <string>

#include "common/ReplacementFile.h"

// The frame trace of quenta update, written as every output file of quenta is: into a private
// file beside FILE that replaces it only at the end of a run that sent frames and wrote them
// all. So a usage error, a wrong password or a full disk never leaves FILE cut short, and never
// clobbers the trace of an earlier run with an empty one. A FILE that exists and is not a
// regular file (a terminal, a pipe, /dev/stderr) is refused: a FIFO nobody reads would hold the
// run, and a device must not be replaced by a file.
class TraceFile {
  public:
    TraceFile() = default;
    ~TraceFile();  // an unfinished trace goes
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // False with a line for the user when FILE cannot be written: not a regular file, a missing
    // or read-only folder around it.
    bool Open(const std::string& path, std::string& error);
    std::FILE* Stream() const { return stream_; }
    // Called after each line: keeps the cause of the first failed write.
    void LineWritten();
    // Ends the trace. It replaces FILE when a line was written and every write, the flush and
    // the rename succeeded; false with a line for the user when the trace was lost.
    bool Finish(std::string& error);

  private:
    void Discard();

    std::string path_;
    ReplacementFile file_;
    std::FILE* stream_ = nullptr;
    long lines_ = 0;
    int writeErrno_ = 0;
};
