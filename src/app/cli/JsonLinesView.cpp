#include "JsonLinesView.h"

#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <algorithm>

#include "VersionInfoText.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/JournalText.h"

namespace {

// The rate is the bytes sent over at least this long, so that it does not jump block by block.
constexpr std::int64_t kRateWindowMs = 2000;

}  // namespace

JsonLinesView::JsonLinesView(TerminalView::Options options, std::ostream& out, int answerFd)
    : options_(std::move(options)), out_(out), answerFd_(answerFd) {}

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

void JsonLinesView::SetPosition(int value) {
    position_ = value;
    const int span = maximum_ - minimum_;
    int percent =
        span > 0 ? static_cast<int>((static_cast<long long>(value) - minimum_) * 100 / span) : 0;
    percent = std::clamp(percent, 0, 100);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    Emit({{"progress",
           {{"done", std::max(0, value - minimum_)},
            {"total", std::max(0, span)},
            {"percent", percent},
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
    QEventLoop loop;
    QSocketNotifier input(answerFd_, QSocketNotifier::Read);
    bool got = false;
    answer.clear();
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c = 0;
        const ssize_t n = ::read(answerFd_, &c, 1);
        if (n <= 0 || c == '\n') {
            got = n > 0;
            loop.quit();
        } else if (answer.size() < kMaxAnswerBytes) {
            answer.push_back(c);
        }
    });
    answerLoop_ = &loop;
    if (!interrupted_)
        loop.exec();
    answerLoop_ = nullptr;
    return got;
}

void JsonLinesView::Interrupt() {
    interrupted_ = true;
    if (answerLoop_ != nullptr)
        answerLoop_->quit();
}

bool JsonLinesView::AskPassword(std::string& entered) {
    if (!options_.passwordGiven) {
        Emit({{"message",
               {{"title", "Radio Code Update"},
                {"icon", "error"},
                {"text", "No password was given: --json takes it from --password-file."}}}});
        return false;
    }
    entered = options_.password;
    passwordEntered_ = true;
    return true;
}

bool JsonLinesView::AskCodeplugPassword(std::string& entered) {
    if (options_.codeplugPasswordGiven) {
        entered = options_.codeplugPassword;
        return true;
    }
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
