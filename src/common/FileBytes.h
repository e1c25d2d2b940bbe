#pragma once

#include <cstddef>
#include <string>

// Writes all count bytes to fd, starting again after a signal cuts a write short. False with
// errno set when fewer bytes could be written; a write that takes nothing without an error (a
// full file system on some systems) sets ENOSPC, as short as one that fails.
bool WriteAllBytes(int fd, const void* data, std::size_t count);

enum class ReadFileResult {
    kOk,
    kOpenFailed,  // errno says why (ENOENT, EACCES, ...)
    kNotRegular,  // a folder, a pipe, a device: nothing a run may wait on or read forever
    kReadFailed,
    kTooLong,  // more than maxBytes
};

// Reads a whole regular file of at most maxBytes into bytes. The file is opened without
// blocking and checked before the first read, so a FIFO given by mistake is refused instead of
// waiting for a writer that never comes. error is errno for kOpenFailed and kReadFailed.
ReadFileResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                               int& error);

// A line for the user: "cannot open PATH: No such file or directory", "PATH is a folder, not
// a file", ...
std::string ReadFileFailureText(ReadFileResult result, int error, const std::string& path,
                                std::size_t maxBytes);
