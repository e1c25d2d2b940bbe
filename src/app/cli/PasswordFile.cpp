#include "app/cli/PasswordFile.h"

#include <cstdint>
#include <vector>

#include "app/cli/FileIo.h"

namespace {

// A password file holds one line; anything this long is some other file.
constexpr std::size_t kPasswordFileMaxBytes = 4096;

}  // namespace

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    std::vector<std::uint8_t> data;
    bool tooLong = false;
    if (!readSmallFile(path, kPasswordFileMaxBytes, data, tooLong, error))
        return false;
    if (data.empty()) {
        error = path + " is empty";
        return false;
    }
    password.clear();
    for (const std::uint8_t c : data) {
        if (c == '\n')
            break;
        // Tabs and the CR of a CR LF line end are trimmed like blanks; any other control byte
        // means the file is no text.
        if ((c < ' ' && c != '\t' && c != '\r') || c == 0x7F) {
            error = path + " is not a text file: its first line holds binary data";
            return false;
        }
        password.push_back(static_cast<char>(c));
    }
    if (password.find_first_not_of(" \t\r") == std::string::npos) {
        error = "the first line of " + path + " is empty: it holds no password";
        return false;
    }
    return true;
}

bool UseCodeplugPasswordFile(const std::string& path, TerminalView::Options& options,
                             std::string& error) {
    std::string line;
    if (!ReadPasswordFile(path, line, error))
        return false;
    const std::size_t begin = line.find_first_not_of(" \t\r");
    const std::size_t end = line.find_last_not_of(" \t\r");
    options.codeplugPassword = line.substr(begin, end - begin + 1);
    options.codeplugPasswordGiven = true;
    return true;
}
