// Several radios updated at once: each port's update is a child quenta of its own (the update
// logic keeps one radio per process), started in a private folder so that the images one
// extracts never meet another's, with the password handed over through a pipe. The parent
// follows their JSON lines, shows one line per port, passes each question's answer to the
// child that asked, stops them all on a stop signal and ends with a table of what each did.
#include "SeveralRadios.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/ExitStatus.h"
#include "app/cli/PasswordPipe.h"
#include "app/cli/RadioChild.h"
#include "app/cli/RadioRun.h"
#include "app/cli/SamePort.h"
#include "app/cli/TerminalView.h"
#include "app/core/PrivateFolder.h"
#include "app/journal/Journal.h"
#include "app/package/PackageAttributes.h"
#include "app/package/PackageFolderCheck.h"
#include "serial/ComPortResolver.h"

namespace fs = std::filesystem;

namespace {

// Live lines are drawn again at most this often: a download moves a percent many times a
// second on eight radios.
constexpr int kRedrawMs = 200;
constexpr int kDefaultColumns = 80;

int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void CatchStopSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int s : kStopSignals)
        ::sigaction(s, &action, nullptr);
}

std::string SelfProgram() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("quenta") : self.string();
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.string();
}

int Columns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return kDefaultColumns;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class SeveralRadios {
  public:
    explicit SeveralRadios(const SeveralRadiosOptions& options)
        : options_(options), tty_(!options.json && ::isatty(STDOUT_FILENO) == 1) {}
    int Run();

  private:
    struct Port {
        RadioRun run;
        RadioChild child;
        std::unique_ptr<PrivateFolder> folder;
        std::chrono::steady_clock::time_point started;
    };

    bool StartAll();
    void Loop();
    void OnOut(Port& port, const std::string& line);
    void OnErr(Port& port, const std::string& line);
    void OnAnswer(const std::string& line);
    void Stop();
    void Ended(Port& port);
    // A line above the live lines (or the line of a log).
    void Say(const std::string& line);
    void Draw();
    void ClearDrawn();

    const SeveralRadiosOptions& options_;
    bool tty_;
    std::vector<std::unique_ptr<Port>> ports_;
    bool stopping_ = false;
    int drawn_ = 0;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point lastDraw_;
    std::string answer_;  // a line being typed on stdin
    bool inputEnded_ = false;
};

bool SeveralRadios::StartAll() {
    const std::string program = SelfProgram();
    for (const std::string& name : options_.ports) {
        auto port = std::make_unique<Port>();
        port->run.port = name;
        port->folder = std::make_unique<PrivateFolder>("quenta-update");
        if (!port->folder->Ok()) {
            std::cerr << "quenta update: cannot make a working folder: " << port->folder->Error()
                      << "\n";
            return false;
        }
        // Relative names would be taken from the child's own folder.
        const bool isCom = serial::ComPortResolver::ParseComName(name) > 0;
        std::vector<std::string> args = {"update", "--port",        isCom ? name : Absolute(name),
                                         "--json", "--password-fd", "3"};
        if (!options_.portDir.empty())
            args.insert(args.end(), {"--port-dir", Absolute(options_.portDir)});
        if (!options_.packageDir.empty())
            args.insert(args.end(), {"--package", Absolute(options_.packageDir)});
        if (!options_.codeplugPasswordFile.empty())
            args.insert(args.end(),
                        {"--codeplug-password-file", Absolute(options_.codeplugPasswordFile)});
        if (options_.boot)
            args.push_back("--boot");
        if (options_.assumeYes)
            args.push_back("--yes");
        std::string error;
        const int password = PasswordPipe(options_.password, error);
        if (password < 0) {
            std::cerr << "quenta update: " << error << "\n";
            return false;
        }
        port->started = std::chrono::steady_clock::now();
        const bool started =
            port->child.Start(program, args, port->folder->Path().string(), password, error);
        ::close(password);
        if (!started) {
            std::cerr << "quenta update: " << error << "\n";
            return false;
        }
        ports_.push_back(std::move(port));
    }
    return true;
}

void SeveralRadios::Say(const std::string& line) {
    ClearDrawn();
    std::cout << line << "\n" << std::flush;
    dirty_ = true;
}

void SeveralRadios::ClearDrawn() {
    if (drawn_ == 0)
        return;
    std::cout << "\033[" << drawn_ << "A";
    for (int i = 0; i < drawn_; ++i)
        std::cout << "\r\033[K\n";
    std::cout << "\033[" << drawn_ << "A" << std::flush;
    drawn_ = 0;
}

void SeveralRadios::Draw() {
    if (!tty_)
        return;
    const std::size_t width = static_cast<std::size_t>(Columns() - 1);
    if (drawn_ > 0)
        std::cout << "\033[" << drawn_ << "A";
    for (const auto& port : ports_)
        std::cout << "\r\033[K" << LiveLine(port->run).substr(0, width) << "\n";
    std::cout << std::flush;
    drawn_ = static_cast<int>(ports_.size());
    dirty_ = false;
    lastDraw_ = std::chrono::steady_clock::now();
}

void SeveralRadios::OnOut(Port& port, const std::string& line) {
    if (options_.json) {
        nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (!event.is_object())
            return;
        ApplyEvent(port.run, line);
        event["port"] = port.run.port;
        std::cout << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n"
                  << std::flush;
        return;
    }
    const std::string change = ApplyEvent(port.run, line);
    dirty_ = true;
    if (change.empty())
        return;
    if (!tty_) {
        std::cout << LogLine(port.run, change) << "\n" << std::flush;
        return;
    }
    // On a terminal the live line holds status and progress; messages scroll above it.
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.contains("message") || event.contains("note") || event.contains("detail"))
        Say(LogLine(port.run, change));
}

void SeveralRadios::OnErr(Port& port, const std::string& line) {
    if (line.empty() || line == "Stopping...")
        return;
    const std::string prefix = "quenta update: ";
    const std::string text = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line;
    if (port.run.failure.empty() || line.rfind(prefix, 0) == 0)
        port.run.failure = text;
    if (options_.json) {
        nlohmann::json event = {{"note", text}, {"port", port.run.port}};
        std::cout << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n"
                  << std::flush;
        return;
    }
    if (tty_)
        Say(LogLine(port.run, text));
    else
        std::cerr << LogLine(port.run, text) << "\n" << std::flush;
}

void SeveralRadios::OnAnswer(const std::string& typed) {
    // "COM5 y": the answer for that port; "y" (or nothing): for the first port that waits.
    std::string text = typed.substr(0, typed.find_last_not_of(" \t\r") + 1);
    const std::size_t space = text.find(' ');
    std::string name = Upper(text.substr(0, space));
    Port* target = nullptr;
    for (auto& port : ports_) {
        if (port->run.question.empty() || port->run.exitStatus >= 0)
            continue;
        if (Upper(port->run.port) == name) {
            target = port.get();
            text = space == std::string::npos ? std::string() : text.substr(space + 1);
            break;
        }
        if (target == nullptr)
            target = port.get();
    }
    if (target == nullptr) {
        Say("quenta update: no radio waits for an answer");
        return;
    }
    target->child.Answer(text);
    target->run.question.clear();
    dirty_ = true;
}

void SeveralRadios::Stop() {
    if (stopping_)
        return;
    stopping_ = true;
    if (tty_)
        ClearDrawn();
    std::cerr << "Stopping..." << std::endl;
    // Each child is stopped once; a second Ctrl-C ends this program at once, as in a
    // one-radio update, and the children still wind down by themselves.
    for (const int s : kStopSignals)
        ::signal(s, SIG_DFL);
    for (auto& port : ports_)
        port->child.Signal(SIGTERM);
    dirty_ = true;
}

void SeveralRadios::Ended(Port& port) {
    port.run.exitStatus = port.child.Wait();
    port.run.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - port.started).count();
    port.run.question.clear();
    if (!tty_ && !options_.json)
        std::cout << LogLine(port.run, "ended " + ResultWord(port.run)) << "\n" << std::flush;
    dirty_ = true;
}

void SeveralRadios::Loop() {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Port*, bool>> owners;  // port, stdout (else stderr)
        bool waiting = false;
        for (auto& port : ports_) {
            if (port->child.OutFd() >= 0) {
                fds.push_back({port->child.OutFd(), POLLIN, 0});
                owners.push_back({port.get(), true});
            }
            if (port->child.ErrFd() >= 0) {
                fds.push_back({port->child.ErrFd(), POLLIN, 0});
                owners.push_back({port.get(), false});
            }
            waiting = waiting || (!port->run.question.empty() && port->run.exitStatus < 0);
        }
        if (fds.empty())
            return;
        const std::size_t children = fds.size();
        fds.push_back({stopPipe[0], POLLIN, 0});
        // The terminal is read only while a question waits, so that nothing typed before is
        // taken for an answer.
        if (waiting && !inputEnded_)
            fds.push_back({STDIN_FILENO, POLLIN, 0});
        int timeout = -1;
        if (dirty_ && tty_) {
            const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - lastDraw_)
                                   .count();
            timeout = static_cast<int>(std::max<long long>(0, kRedrawMs - since));
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR)
            return;
        for (std::size_t i = 0; ready > 0 && i < children; ++i) {
            if (fds[i].revents == 0)
                continue;
            Port& port = *owners[i].first;
            if (owners[i].second)
                port.child.ReadOut([&](const std::string& line) { OnOut(port, line); });
            else
                port.child.ReadErr([&](const std::string& line) { OnErr(port, line); });
            if (port.child.OutputsEnded() && port.run.exitStatus < 0)
                Ended(port);
        }
        if (ready > 0 && fds[children].revents != 0) {
            char drained[16];
            [[maybe_unused]] const ssize_t n = ::read(stopPipe[0], drained, sizeof drained);
            Stop();
        }
        if (ready > 0 && fds.size() > children + 1 && fds.back().revents != 0) {
            char c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n <= 0) {
                // No one is left to answer: every waiting radio goes on, as one radio's
                // update does when its input ends.
                inputEnded_ = true;
                for (auto& port : ports_)
                    if (!port->run.question.empty())
                        OnAnswer(port->run.port + " ");
            } else if (c == '\n') {
                OnAnswer(answer_);
                answer_.clear();
            } else if (answer_.size() < 64) {
                answer_.push_back(c);
            }
        }
        if (dirty_ && tty_ &&
            std::chrono::steady_clock::now() - lastDraw_ >= std::chrono::milliseconds(kRedrawMs))
            Draw();
    }
}

int SeveralRadios::Run() {
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::cerr << "quenta update: cannot set up the stop signals\n";
        return ToInt(ExitStatus::kFailed);
    }
    // A reader that goes away must not end the parent while its radios are half flashed.
    ::signal(SIGPIPE, SIG_IGN);
    CatchStopSignals(OnStopSignal);
    if (!StartAll()) {
        Stop();
        for (auto& port : ports_) {
            while (!port->child.OutputsEnded()) {
                port->child.ReadOut([](const std::string&) {});
                port->child.ReadErr([](const std::string&) {});
            }
            port->child.Wait();
        }
        return ToInt(ExitStatus::kFailed);
    }
    Draw();
    Loop();
    if (tty_) {
        Draw();
        std::cout << "\n";
    }
    std::vector<int> statuses;
    for (const auto& port : ports_)
        statuses.push_back(port->run.exitStatus);
    const int status = WorstStatus(statuses);
    if (options_.json) {
        nlohmann::json runs = nlohmann::json::array();
        for (const auto& port : ports_)
            runs.push_back({{"port", port->run.port},
                            {"serial", port->run.serial},
                            {"result", ResultWord(port->run)},
                            {"exitStatus", port->run.exitStatus},
                            {"why", port->run.exitStatus == 0 ? "" : Why(port->run)},
                            {"seconds", port->run.seconds}});
        const nlohmann::json summary = {{"summary", {{"ports", runs}, {"exitStatus", status}}}};
        std::cout << summary.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        std::cout << SummaryTable([this] {
            std::vector<RadioRun> runs;
            for (const auto& port : ports_)
                runs.push_back(port->run);
            return runs;
        }()) << std::flush;
    }
    return status;
}

}  // namespace

int UpdateSeveralRadios(const SeveralRadiosOptions& given) {
    const std::string repeated = RepeatedPort(given.ports, given.portDir);
    if (!repeated.empty()) {
        std::cerr << "quenta update: " << repeated << ": each radio needs a port of its own\n";
        return ToInt(ExitStatus::kUsage);
    }
    std::error_code ec;
    if (!given.portDir.empty() && !fs::is_directory(given.portDir, ec)) {
        std::cerr << "quenta update: "
                  << (fs::exists(given.portDir, ec)
                          ? given.portDir +
                                " is not a folder: --port-dir names a folder of "
                                "COMn links"
                          : "the port folder " + given.portDir + " does not exist")
                  << "\n";
        return ToInt(ExitStatus::kUsage);
    }
    if (!given.packageDir.empty()) {
        ResourceAttributes attributes;
        std::string error;
        if (!CheckPackageFolder(given.packageDir, attributes, error)) {
            std::cerr << "quenta update: " << error << "\n";
            return ToInt(ExitStatus::kUsage);
        }
    }
    SeveralRadiosOptions options = given;
    // The password is asked once, for every radio.
    if (!options.passwordGiven) {
        TerminalView::Options viewOptions;
        TerminalView asker(viewOptions, std::cout, std::cerr);
        if (!asker.AskPassword(options.password))
            return ToInt(ExitStatus::kNotRun);
        options.passwordGiven = true;
    }
    // The journal is made (and set to its write-ahead log) here, once: radios that all begin
    // at the same moment would otherwise race to create it and find it locked.
    Journal journal;
    std::string journalError;
    journal.Open(Journal::DefaultPath(), journalError);
    SeveralRadios radios(options);
    return radios.Run();
}
