#include "app/journal/RunSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

constexpr int kBitsPerByte = 10;  // a start bit, eight data bits and a stop bit

struct PhaseName {
    const char* key;
    const char* label;
};

constexpr PhaseName kPhaseNames[] = {
    {"start", "Connect"},
    {"target-check", "Radio check"},
    {"boot-check", "Boot version check"},
    {"extract", "Image extraction"},
    {"boot-download", "Boot download"},
    {"download", "Code download"},
    {"dsp-download", "DSP download"},
    {"restart-wait", "Radio restart"},
    {"codeplug-read", "Codeplug read"},
    {"backup", "Codeplug backup"},
    {"codeplug-write", "Codeplug write"},
    {"verify", "Read-back"},
};

// A JSON list from the row; a damaged or empty one is no list.
nlohmann::json ListOf(const std::string& text) {
    nlohmann::json list = nlohmann::json::parse(text, nullptr, false);
    return list.is_array() ? list : nlohmann::json::array();
}

std::string ImageText(std::uint64_t bytes, double seconds, int baud) {
    char text[160];
    const double kbits = seconds > 0 ? static_cast<double>(bytes) * 8 / seconds / 1000 : 0;
    if (baud > 0 && seconds > 0) {
        const double share =
            100 * static_cast<double>(bytes) / seconds / (static_cast<double>(baud) / kBitsPerByte);
        std::snprintf(text, sizeof text, "%llu bytes in %s, %.1f kbit/s (%.0f%% of the line)",
                      static_cast<unsigned long long>(bytes), DurationText(seconds).c_str(), kbits,
                      std::floor(share));
    } else {
        std::snprintf(text, sizeof text, "%llu bytes in %s, %.1f kbit/s",
                      static_cast<unsigned long long>(bytes), DurationText(seconds).c_str(), kbits);
    }
    return text;
}

}  // namespace

std::string PhaseLabel(const std::string& phase) {
    for (const PhaseName& name : kPhaseNames) {
        if (phase == name.key)
            return name.label;
    }
    return phase;
}

std::string DurationText(double seconds) {
    char text[48];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", std::max(0.0, seconds));
    } else {
        const long whole = std::lround(seconds);
        std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
    }
    return text;
}

std::vector<SummaryLine> RunSummary(const JournalRow& row) {
    std::vector<SummaryLine> lines;
    if (!row.serial.empty())
        lines.push_back({"Radio serial", row.serial});
    const nlohmann::json phases = ListOf(row.phases);
    double total = 0;
    bool verifyRan = false;
    for (const nlohmann::json& phase : phases) {
        const std::string name = phase.value("phase", std::string());
        const double seconds = phase.value("seconds", 0.0);
        total += seconds;
        verifyRan = verifyRan || name == "verify";
        lines.push_back({PhaseLabel(name), DurationText(seconds)});
    }
    for (const nlohmann::json& image : ListOf(row.images)) {
        lines.push_back({"Image " + image.value("image", std::string()),
                         ImageText(image.value("bytes", std::uint64_t{0}),
                                   image.value("seconds", 0.0), image.value("baud", 0))});
    }
    if (!row.formatBefore.empty() || !row.formatAfter.empty()) {
        const std::string before = row.formatBefore.empty() ? "?" : row.formatBefore;
        const std::string after = row.formatAfter.empty() ? "?" : row.formatAfter;
        lines.push_back(
            {"Codeplug format", before == after ? before + " (kept)" : before + " -> " + after});
    }
    if (row.codeplugWrites > 1)
        lines.push_back({"Codeplug writes", std::to_string(row.codeplugWrites)});
    if (row.codeplugVerified)
        lines.push_back({"Read-back", "verified: the radio holds the codeplug written"});
    else if (verifyRan && !row.ended.empty())
        lines.push_back({"Read-back", "failed: the radio does not hold the codeplug written"});
    if (!row.backupRead.empty())
        lines.push_back(
            {"Backup as read", row.backupRead + " (SHA-256 " + row.backupReadSha256 + ")"});
    if (!row.backupConverted.empty()) {
        lines.push_back({"Backup converted",
                         row.backupConverted + " (SHA-256 " + row.backupConvertedSha256 + ")"});
    }
    if (!phases.empty())
        lines.push_back({"Total time", DurationText(total)});
    return lines;
}
