#include "app/package/ProgramName.h"

namespace {

constexpr const char* kReleaseWord = "Release";
constexpr std::size_t kReleaseWordLength = 7;
// "Release" ends two characters before the underscore that becomes the release's full stop
// ("Release_2_8": the second underscore).
constexpr std::size_t kReleaseWordDistance = 9;

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Underscores become blanks, except the one two characters after "Release", which becomes
// the release's full stop. The last character is left as it is.
std::string ReadUnderscores(std::string text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '_')
            continue;
        const bool afterReleaseWord =
            i >= kReleaseWordDistance &&
            text.compare(i - kReleaseWordDistance, kReleaseWordLength, kReleaseWord) == 0;
        text[i] = afterReleaseWord ? '.' : ' ';
    }
    return text;
}

}  // namespace

ProgramNameLabels ReadProgramName(const std::string& programFilePath) {
    std::string name = programFilePath;
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos)
        name.erase(dot);

    ProgramNameLabels labels;
    labels.nameLabel = "Name: " + name;
    const std::string readable = ReadUnderscores(TrimBlanks(labels.nameLabel));
    const std::string marker = std::string(kReleaseWord) + " ";
    const std::size_t release = readable.find(marker);
    labels.release =
        release == std::string::npos ? "N/A" : readable.substr(release + marker.size());
    return labels;
}
