#include "RadioRun.h"

#include <algorithm>
#include <cstdio>

#include "ExitStatus.h"

namespace {

std::string Text(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string Rate(std::uint64_t bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kB/s", static_cast<double>(bytesPerSecond) / 1000);
    return text;
}

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// Severity of an exit status for WorstStatus: higher is worse.
int Rank(int status) {
    switch (static_cast<ExitStatus>(status)) {
        case ExitStatus::kDone:
            return 0;
        case ExitStatus::kStopped:
            return 1;
        case ExitStatus::kNotRun:
            return 2;
        case ExitStatus::kCodeplugNotConverted:
            return 3;
        case ExitStatus::kUsage:
            return 4;
        default:
            return 5;
    }
}

}  // namespace

std::string ApplyEvent(RadioRun& run, const std::string& line) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (!event.is_object() || event.empty())
        return {};
    if (event.contains("status")) {
        run.status = Text(event, "status");
        run.percent = -1;
        run.question.clear();  // a new status means the question was answered
        return run.status;
    }
    if (event.contains("phase")) {
        run.phase = Text(event, "phase");
        return {};
    }
    if (event.contains("radio")) {
        run.serial = Text(event["radio"], "serial");
        return "radio serial " + run.serial;
    }
    if (event.contains("progress")) {
        const nlohmann::json& p = event["progress"];
        const int before = run.percent;
        run.percent = p.value("percent", 0);
        run.rate = p.value("rate", std::uint64_t{0});
        if (run.percent > 0 && run.percent < 100 && run.percent / 10 != std::max(before, 0) / 10)
            return std::to_string(run.percent) + "%";
        return {};
    }
    if (event.contains("question")) {
        run.question = Text(event["question"], "text");
        run.yesNo = Text(event["question"], "answer") == "yes-no";
        return "waits: " + run.question.substr(0, run.question.find('\n'));
    }
    if (event.contains("message")) {
        const nlohmann::json& m = event["message"];
        const std::string text = Text(m, "text");
        if (Text(m, "icon") == "error")
            run.failure = text;
        return Text(m, "title") + ": " + text;
    }
    if (event.contains("detail") || event.contains("note"))
        return Text(event, event.contains("detail") ? "detail" : "note");
    if (event.contains("result")) {
        run.result = event["result"];
        if (run.serial.empty())
            run.serial = Text(run.result, "serial");
        return {};
    }
    return {};
}

std::string LogLine(const RadioRun& run, const std::string& what) {
    std::string line = run.port;
    if (!run.serial.empty())
        line += " (serial " + run.serial + ")";
    std::string flat = what;
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    return line + ": " + flat;
}

std::string LiveLine(const RadioRun& run) {
    std::string line = Padded(run.port, 8);
    line += Padded(run.serial.empty() ? "-" : run.serial, 18);
    line += Padded(run.phase, 16);
    if (run.exitStatus >= 0) {
        line += ResultWord(run);
        return line;
    }
    if (!run.question.empty()) {
        std::string first = run.question.substr(0, run.question.find("\n\n"));
        std::replace(first.begin(), first.end(), '\n', ' ');
        return line + "WAITS: " + first +
               (run.yesNo ? " [y/N, or " + run.port + " y]"
                          : " [Enter, or " + run.port + " Enter]");
    }
    line += Padded(run.percent >= 0 ? std::to_string(run.percent) + "%" : "", 6);
    line += Padded(run.rate > 0 ? Rate(run.rate) : "", 12);
    return line + run.status;
}

std::string ResultWord(const RadioRun& run) {
    switch (static_cast<ExitStatus>(run.exitStatus)) {
        case ExitStatus::kDone:
            return "done";
        case ExitStatus::kStopped:
            return "stopped";
        case ExitStatus::kNotRun:
            return "not run";
        case ExitStatus::kCodeplugNotConverted:
            return "not converted";
        default:
            return "failed";
    }
}

std::string Why(const RadioRun& run) {
    if (run.exitStatus == ToInt(ExitStatus::kCodeplugNotConverted))
        return "the firmware is updated but the codeplug is older than 5.8 and was not converted";
    if (run.exitStatus == ToInt(ExitStatus::kStopped))
        return "stopped";
    std::string why = run.failure;
    if (why.empty())
        why = run.result.is_object() ? Text(run.result, "status") : run.status;
    if (why.empty())
        why = run.status;
    std::replace(why.begin(), why.end(), '\n', ' ');
    return why;
}

std::string SummaryTable(const std::vector<RadioRun>& runs) {
    struct Row {
        std::vector<std::string> cells;
    };
    std::vector<Row> rows;
    rows.push_back({{"Port", "Serial", "Before", "After", "Result", "Time", "Backups"}});
    for (const RadioRun& run : runs) {
        const nlohmann::json& r = run.result.is_object() ? run.result : nlohmann::json::object();
        std::string backups = Text(r, "backupRead");
        const std::string converted = Text(r, "backupConverted");
        if (!converted.empty())
            backups += (backups.empty() ? "" : ", ") + converted;
        rows.push_back({{run.port, run.serial.empty() ? "-" : run.serial,
                         Text(r, "formatBefore").empty() ? "-" : Text(r, "formatBefore"),
                         Text(r, "formatAfter").empty() ? "-" : Text(r, "formatAfter"),
                         ResultWord(run), Duration(run.seconds), backups.empty() ? "-" : backups}});
    }
    std::vector<std::size_t> widths(rows.front().cells.size(), 0);
    for (const Row& row : rows)
        for (std::size_t i = 0; i < row.cells.size(); ++i)
            widths[i] = std::max(widths[i], row.cells[i].size());
    std::string table;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.cells.size(); ++i)
            line += i + 1 < row.cells.size() ? Padded(row.cells[i], widths[i] + 2) : row.cells[i];
        table += line + "\n";
    }
    for (const RadioRun& run : runs)
        if (run.exitStatus != ToInt(ExitStatus::kDone))
            table += run.port + " " + ResultWord(run) + ": " + Why(run) + "\n";
    return table;
}

int WorstStatus(const std::vector<int>& statuses) {
    int worst = 0;
    for (const int s : statuses)
        if (Rank(s) > Rank(worst))
            worst = s;
    return worst;
}
