#include "FileIo.h"

#include <cerrno>
#include <cstring>

#include "common/FileBytes.h"
#include "common/ReplacementFile.h"

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>& data,
                   bool& tooLong, std::string& error) {
    data.clear();
    std::string bytes;
    int cause = 0;
    const ReadFileResult result = ReadRegularFile(path, maxBytes, bytes, cause);
    tooLong = result == ReadFileResult::kTooLong;
    if (result == ReadFileResult::kOk) {
        data.assign(bytes.begin(), bytes.end());
        return true;
    }
    // A folder is said as reading one says it, as it always was.
    error = result == ReadFileResult::kNotRegular && cause == EISDIR
                ? "cannot read " + path + ": " + std::strerror(cause)
                : ReadFileFailureText(result, cause, path, maxBytes);
    return false;
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string& error) {
    int cause = 0;
    const ReplaceResult result = ReplaceFileContents(path, data, size, kPrivateFileMode, cause);
    if (result == ReplaceResult::kOk)
        return true;
    error = ReplaceFailureText(result, cause, path);
    return false;
}
