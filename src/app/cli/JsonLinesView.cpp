#include "JsonLinesView.h"

#include <algorithm>

#include "VersionInfoText.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/JournalText.h"

namespace {

// The rate is the bytes sent over at least this long, so that it does not jump block by block.
constexpr std::int64_t kRateWindowMs = 2000;

}  // namespace

JsonLinesView::JsonLinesView(Options options, std::ostream& out, int answerFd)
    : CommandView(std::move(options)), out_(out), answerFd_(answerFd) {}

JsonLinesView::~JsonLinesView() = default;

void JsonLinesView::Emit(const nlohmann::json& event) {
    // Text that is not UTF-8 (a device path, a file name) is replaced, never thrown on.
    out_ << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n'
         << std::flush;
}

void JsonLinesView::SetStatus(const std::string& text) {
    if (text == status_)
        return;
    status_ = text;
    Emit({{"status", text}});
}

void JsonLinesView::ShowStatusDetail(const std::string& detail) {
    if (detail == detail_)
        return;
    detail_ = detail;
    Emit({{"detail", detail}});
}

void JsonLinesView::Note(const std::string& line) {
    Emit({{"note", line}});
}

void JsonLinesView::PercentChanged(int) {
    Emit({{"progress",
           {{"done", std::max(0, position_ - minimum_)},
            {"total", std::max(0, maximum_ - minimum_)},
            {"percent", shownPercent_},
            {"rate", rate_}}}});
}

void JsonLinesView::OnFrame(char direction, const std::uint8_t*, int count, std::int64_t ms) {
    if (direction != 'W')
        return;
    sent_ += static_cast<std::uint64_t>(count);
    if (windowMs_ < 0) {
        windowMs_ = ms;
        windowBytes_ = sent_;
    } else if (ms - windowMs_ >= kRateWindowMs) {
        rate_ = (sent_ - windowBytes_) * 1000 / static_cast<std::uint64_t>(ms - windowMs_);
        windowMs_ = ms;
        windowBytes_ = sent_;
    }
}

void JsonLinesView::ShowMessage(const std::string& title, MessageIcon icon,
                                const std::string& text) {
    if (text == updater_text::kBootUpdated && !options_.assumeYes) {
        Emit({{"question", {{"title", title}, {"text", text}, {"answer", "line"}}}});
        std::string ignored;
        WaitForAnswer(ignored);
        return;
    }
    Emit({{"message", {{"title", title}, {"icon", IconWord(icon)}, {"text", text}}}});
}

bool JsonLinesView::AskYesNo(const std::string& title, const std::string& text) {
    if (options_.assumeYes) {
        Emit({{"message", {{"title", title}, {"icon", "question"}, {"text", text}}}});
        return true;
    }
    Emit({{"question", {{"title", title}, {"text", text}, {"answer", "yes-no"}}}});
    std::string answer;
    return WaitForAnswer(answer) && !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

bool JsonLinesView::WaitForAnswer(std::string& answer) {
    answer.clear();
    if (answerFd_ < 0)
        return false;  // a command that takes no answers
    // The update's timers and the stop signals stay live while the question waits.
    return answers_.ReadLine(answerFd_, answer);
}

bool JsonLinesView::AskPassword(std::string& entered) {
    if (GivenPassword(entered))
        return true;
    Emit({{"message",
           {{"title", "Radio Code Update"},
            {"icon", "error"},
            {"text", "No password was given: --json takes it from --password-file."}}}});
    return false;
}

bool JsonLinesView::AskCodeplugPassword(std::string& entered) {
    if (GivenCodeplugPassword(entered))
        return true;
    Emit({{"message",
           {{"title", "Codeplug"},
            {"icon", "error"},
            {"text",
             "The radio asks for its codeplug password; --codeplug-password-file gives it."}}}});
    return false;
}

void JsonLinesView::ShowVersionInfo(const VersionRecord& record, TargetKind kind) {
    versionShown_ = true;
    version_ = VersionInfoJson(record, kind);
    if (options_.printVersionInfo)
        Emit({{"version", FormatVersionInfo(record, kind)}});
}

void JsonLinesView::RowRecorded(const JournalRow& row) {
    if (!rowRecorded_ || row.phase != row_.phase)
        Emit({{"phase", row.phase}});
    if (!row.serial.empty() && row.serial != row_.serial)
        Emit({{"radio", {{"serial", row.serial}}}});
    row_ = row;
    rowRecorded_ = true;
}

void JsonLinesView::VersionResult(int exitStatus) {
    Emit({{"result", {{"version", version_}, {"exitStatus", exitStatus}}}});
}

void JsonLinesView::Result(int exitStatus) {
    nlohmann::json result = JournalRowJson(row_);
    if (!rowRecorded_)
        result["state"] = "not-run";
    result["exitStatus"] = exitStatus;
    Emit({{"result", result}});
}
