#include "TerminalView.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "VersionInfoText.h"
#include "app/core/TimeLeft.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/RunSummary.h"
#include "download/ImageThroughput.h"

namespace {

constexpr int kBarWidth = 40;
constexpr int kPlainStepPercent = 10;

}  // namespace

TerminalView::TerminalView(Options options, std::ostream& out, std::ostream& err)
    : CommandView(std::move(options)),
      out_(out),
      err_(err),
      tty_(&out == &std::cout && ::isatty(STDOUT_FILENO) == 1) {}

TerminalView::~TerminalView() {
    ClearBar();
}

void TerminalView::ClearBar() {
    if (!barShown_)
        return;
    out_ << "\r\033[K" << std::flush;
    barShown_ = false;
}

void TerminalView::DrawBar() {
    if (!tty_)
        return;
    const int filled = shownPercent_ * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", shownPercent_);
    out_ << "\r[" << bar << "] " << percent;
    if (timeLeft_ >= 0)
        out_ << "  " << TimeLeftText(timeLeft_);
    // The line may have been longer before (a time left that has gone).
    out_ << "\033[K" << std::flush;
    barShown_ = true;
}

void TerminalView::PercentChanged(int before) {
    if (tty_) {
        DrawBar();
        return;
    }
    if ((before < 0 || shownPercent_ / kPlainStepPercent != before / kPlainStepPercent) &&
        shownPercent_ > 0) {
        out_ << "Progress: " << shownPercent_ << "%";
        if (timeLeft_ >= 0)
            out_ << " (" << TimeLeftText(timeLeft_) << ")";
        out_ << "\n" << std::flush;
    }
}

void TerminalView::ShowTimeLeft(int seconds) {
    timeLeft_ = seconds;
    if (tty_ && barShown_)
        DrawBar();
}

void TerminalView::ShowRun(const JournalRow& row) {
    if (row.started != run_.started)
        imagesSaid_ = 0;
    run_ = row;
    const nlohmann::json images = nlohmann::json::parse(row.images, nullptr, false);
    if (!images.is_array())
        return;
    for (; imagesSaid_ < images.size(); ++imagesSaid_) {
        const nlohmann::json& image = images[imagesSaid_];
        Note(ImageThroughputLine(image.value("bytes", std::uint64_t{0}),
                                 image.value("seconds", 0.0), image.value("baud", 0)));
    }
}

void TerminalView::PrintSummary() {
    if (run_.started.empty())
        return;
    ClearBar();
    out_ << "Summary:\n";
    for (const SummaryLine& line : RunSummary(run_))
        out_ << "  " << line.label << ": " << line.value << "\n";
    out_ << std::flush;
}

void TerminalView::SetStatus(const std::string& text) {
    if (text == status_)
        return;
    status_ = text;
    ClearBar();
    out_ << text << '\n' << std::flush;
    if (tty_ && shownPercent_ >= 0)
        DrawBar();
}

void TerminalView::ShowStatusDetail(const std::string& detail) {
    if (detail == detail_)
        return;
    detail_ = detail;
    Note(detail);
}

void TerminalView::Note(const std::string& line) {
    ClearBar();
    out_ << line << '\n' << std::flush;
    if (tty_ && shownPercent_ >= 0)
        DrawBar();
}

void TerminalView::ShowMessage(const std::string& title, MessageIcon icon,
                               const std::string& text) {
    ++messages_;
    ClearBar();
    // One line per line of the box, each beginning with its title, so that a log can be
    // searched by title.
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = text.find('\n', begin);
        const std::string line = text.substr(begin, end == std::string::npos ? end : end - begin);
        // Blank lines between a box's paragraphs are left out: one line, one statement.
        if (!line.empty()) {
            if (options_.titledMessages)
                err_ << title << " (" << IconWord(icon) << "): ";
            err_ << line << '\n';
        }
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    err_ << std::flush;
    if (text == updater_text::kBootUpdated && !options_.assumeYes) {
        err_ << "Press Enter once the radio is in bootload mode." << std::endl;
        // The update's timers and Ctrl-C stay live while the box is open, as in the window.
        std::string ignored;
        answers_.ReadLine(STDIN_FILENO, ignored);
    }
}

bool TerminalView::AskYesNo(const std::string& title, const std::string& text) {
    ShowMessage(title, MessageIcon::kQuestion, text);
    if (options_.assumeYes) {
        err_ << title << " (question): yes (--yes)" << std::endl;
        return true;
    }
    return ReadAnswer(title + " (question): yes or no? [y/N]");
}

bool TerminalView::ReadAnswer(const std::string& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        err_ << prompt << " no terminal to ask on: no" << std::endl;
        return false;
    }
    [[maybe_unused]] ssize_t w = ::write(fd, prompt.data(), prompt.size());
    w = ::write(fd, " ", 1);
    // The answer is awaited in the event loop, so that Ctrl-C (Interrupt) ends the question
    // as it ends every other wait of the run.
    std::string line;
    if (!answers_.ReadLine(fd, line))
        w = ::write(fd, "\n", 1);
    ::close(fd);
    const std::size_t first = line.find_first_not_of(" \t");
    return !answers_.Interrupted() && first != std::string::npos &&
           (line[first] == 'y' || line[first] == 'Y');
}

bool TerminalView::ReadSecret(const std::string& prompt, std::string& out) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        err_ << prompt << " no terminal to ask on" << std::endl;
        return false;
    }
    // A secret is only read with echo off: a terminal that refuses the change is not asked.
    termios saved{};
    const bool isTerminal = ::tcgetattr(fd, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
            err_ << prompt << " the terminal would echo it (" << std::strerror(errno) << ")"
                 << std::endl;
            ::close(fd);
            return false;
        }
    }
    [[maybe_unused]] ssize_t w = ::write(fd, prompt.data(), prompt.size());
    w = ::write(fd, " ", 1);
    out.clear();
    bool ok = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            break;  // Ctrl-C
        if (n <= 0)
            break;
        if (c == '\n') {
            ok = true;
            break;
        }
        if (out.size() < 256)
            out.push_back(c);
    }
    // Echo back on, retried while a signal interrupts it (Ctrl-C lands here); a terminal that
    // stays silent is named with the command that mends it.
    if (isTerminal) {
        int restored = -1;
        for (int tries = 0; tries < 3 && restored != 0; ++tries)
            restored = ::tcsetattr(fd, TCSAFLUSH, &saved);
        if (restored != 0)
            err_ << "\nThe terminal's echo could not be turned back on (" << std::strerror(errno)
                 << "): type 'stty sane' and Enter." << std::endl;
    }
    if (!ok)
        w = ::write(fd, "\n", 1);
    ::close(fd);
    return ok;
}

bool TerminalView::AskPassword(std::string& entered) {
    if (GivenPassword(entered))
        return true;
    passwordEntered_ = ReadSecret("Radio Code Update - Enter Password:", entered);
    return passwordEntered_;
}

bool TerminalView::AskCodeplugPassword(std::string& entered) {
    if (GivenCodeplugPassword(entered))
        return true;
    ClearBar();
    return ReadSecret("The radio asks for its codeplug password:", entered);
}

void TerminalView::ShowVersionInfo(const VersionRecord& record, TargetKind kind) {
    versionShown_ = true;
    if (options_.printVersionInfo)
        out_ << FormatVersionInfo(record, kind) << std::flush;
}

bool TerminalView::Confirm(const std::string& question) {
    ClearBar();
    return ReadAnswer(question + " [y/N]");
}
