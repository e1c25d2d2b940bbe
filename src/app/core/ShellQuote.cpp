#include "app/core/ShellQuote.h"

#include <cstring>

namespace {

bool IsSafe(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
           std::strchr("-_./:,+=@%", c) != nullptr;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
    bool safe = !text.empty();
    for (const char c : text)
        safe = safe && c != '\0' && IsSafe(c);
    if (safe)
        return text;
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}
