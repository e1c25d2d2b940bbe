// The fault matrix: a whole update per cell, each in a child process of its own (a crash or a
// hang fails that cell alone), a few at a time. Prints one table per transport, the failed
// cells with what went wrong, and "cells N, passed P, failed F"; exits 0 only if all passed.
//
//   fault_matrix [--slice] [--jobs N] [--filter TEXT] [--list] [--frames] [--verbose]
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "CellChecks.h"
#include "CellRun.h"
#include "FaultCells.h"
#include "ProgramCell.h"
#include "TempDir.h"
#include "common/FileBytes.h"

namespace fs = std::filesystem;
using namespace faultmatrix;

namespace {

// A cell that has not ended by then is killed and fails: far above the longest cell.
constexpr int kCellLimitSeconds = 90;
// The real program waits for the radio on the clock: its whole update takes half a minute.
constexpr int kProgramCellLimitSeconds = 240;

struct Options {
    bool slice = false;
    int jobs = 2;
    std::string filter;
    bool list = false;
    bool frames = false;
    bool verbose = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    const std::map<std::string, bool*> flags = {{"--slice", &o.slice},
                                                {"--list", &o.list},
                                                {"--frames", &o.frames},
                                                {"--verbose", &o.verbose}};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (flags.count(a) != 0) {
            *flags.at(a) = true;
        } else if (a == "--jobs" && i + 1 < argc) {
            o.jobs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--filter" && i + 1 < argc) {
            o.filter = argv[++i];
        } else {
            std::cerr << "usage: fault_matrix [--slice] [--jobs N] [--filter TEXT] [--list] "
                         "[--frames] [--verbose]\n";
            return false;
        }
    }
    return true;
}

}  // namespace

namespace faultmatrix {
// The child's result goes through a pipe as one JSON object.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(LoggedFrame, toBox, payload)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(RunResult, passed, end, problems, frames,
                                                codeplugReports, secondEnd, recovered, falseDone)
}  // namespace faultmatrix

namespace {

// The result a child wrote; a crash leaves none, or half of one.
RunResult Parse(const std::string& text) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_object())
        return j.get<RunResult>();
    RunResult r;
    r.problems.push_back("the run ended without a result (crashed)");
    return r;
}

struct Child {
    std::size_t index;
    pid_t pid;
    int fd;
    std::string out;
    fs::path temp;
    std::chrono::steady_clock::time_point deadline;
    int limitSeconds;
    bool killed = false;
};

// Runs every job, at most jobs at a time, each in a child with a temporary folder of its
// own; a folder the child leaves behind fails its cell.
std::vector<RunResult> RunAll(const std::vector<Cell>& cells, bool clean, int jobs,
                              const fs::path& root, bool verbose) {
    std::vector<RunResult> results(cells.size());
    std::vector<Child> running;
    std::size_t next = 0;
    std::size_t finished = 0;
    while (finished < cells.size()) {
        while (next < cells.size() && static_cast<int>(running.size()) < jobs) {
            const fs::path temp = root / ("cell" + std::to_string(next));
            fs::create_directories(temp);
            int p[2];
            if (::pipe(p) != 0) {
                std::perror("pipe");
                std::exit(2);
            }
            std::cout.flush();
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(p[0]);
                ::setenv("TMPDIR", temp.c_str(), 1);
                const std::string text = nlohmann::json(RunUpdate(cells[next], clean)).dump();
                ::_exit(WriteAllBytes(p[1], text.data(), text.size()) ? 0 : 1);
            }
            ::close(p[1]);
            const int limit = !clean && IsProgramFault(cells[next].fault) ? kProgramCellLimitSeconds
                                                                          : kCellLimitSeconds;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
            running.push_back({next, pid, p[0], {}, temp, deadline, limit});
            ++next;
        }
        std::vector<pollfd> fds;
        auto soonest = running.front().deadline;
        for (const Child& c : running) {
            fds.push_back({c.fd, POLLIN, 0});
            soonest = std::min(soonest, c.deadline);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            soonest - std::chrono::steady_clock::now());
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, wait.count())));
        for (std::size_t i = 0; i < running.size();) {
            Child& c = running[i];
            bool closed = false;
            if (fds[i].revents & (POLLIN | POLLHUP)) {
                char buf[4096];
                const ssize_t n = ::read(c.fd, buf, sizeof buf);
                if (n > 0)
                    c.out.append(buf, static_cast<std::size_t>(n));
                else
                    closed = true;
            }
            if (!closed && std::chrono::steady_clock::now() >= c.deadline) {
                ::kill(c.pid, SIGKILL);
                c.killed = true;
                closed = true;
            }
            if (!closed) {
                ++i;
                continue;
            }
            int status = 0;
            ::waitpid(c.pid, &status, 0);
            ::close(c.fd);
            RunResult r = Parse(c.out);
            if (c.killed)
                r.problems.push_back("killed after " + std::to_string(c.limitSeconds) + " s");
            else if (WIFSIGNALED(status))
                r.problems.push_back(std::string("died of ") + ::strsignal(WTERMSIG(status)));
            std::error_code ec;
            if (!c.killed && !fs::is_empty(c.temp, ec))
                r.problems.push_back("left in its temporary folder: " + Leftovers(c.temp));
            fs::remove_all(c.temp, ec);
            r.passed = r.passed && r.problems.empty();
            if (verbose || !r.passed) {
                const std::string label =
                    clean ? std::string(Name(cells[c.index].transport)) + "/fault-free"
                          : cells[c.index].Label();
                std::cout << (r.passed ? "pass " : "FAIL ") << label << ": \"" << r.end << "\"";
                if (!clean)
                    std::cout << (r.recovered ? ", recovered: \"" : ", not recovered: \"")
                              << r.secondEnd << "\"";
                for (const auto& p : r.problems)
                    std::cout << "; " << p;
                std::cout << "\n";
            }
            results[c.index] = std::move(r);
            ++finished;
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return results;
}

void PrintTable(Transport t, const std::vector<Cell>& cells,
                const std::vector<RunResult>& results) {
    std::map<std::pair<Phase, Fault>, std::pair<int, int>> counts;  // -> (passed, all)
    std::set<Fault> faults;
    std::set<Phase> phases;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].transport != t)
            continue;
        auto& c = counts[{cells[i].phase, cells[i].fault}];
        c.second += 1;
        c.first += results[i].passed ? 1 : 0;
        faults.insert(cells[i].fault);
        phases.insert(cells[i].phase);
    }
    if (phases.empty())
        return;
    std::printf("\n%s: passed/cells per phase and fault\n%-16s", Name(t), "");
    for (Fault f : faults)
        std::printf(" %9.9s", Name(f));
    std::printf("\n");
    for (Phase p : phases) {
        std::printf("%-16s", Name(p));
        for (Fault f : faults) {
            auto it = counts.find({p, f});
            if (it == counts.end()) {
                std::printf(" %9s", "-");
            } else {
                const std::string cell =
                    std::to_string(it->second.first) + "/" + std::to_string(it->second.second);
                std::printf(" %9s", cell.c_str());
            }
        }
        std::printf("\n");
    }
}

// After each fault, the share of cells a clean run of what the tool offers brings to the new
// firmware and the converted codeplug, per phase; and every cell where a run said "Done."
// while the radio held something else.
void PrintRecovery(const std::vector<Cell>& cells, const std::vector<RunResult>& results) {
    std::map<int, std::pair<int, int>> counts;  // phase -> (recovered, cells)
    std::vector<std::string> falseDone;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        auto& c = counts[static_cast<int>(cells[i].phase)];
        c.first += results[i].recovered ? 1 : 0;
        c.second += 1;
        if (results[i].falseDone)
            falseDone.push_back(cells[i].Label());
    }
    std::printf("\nrecovered by a second run, per phase\n");
    int recovered = 0;
    for (const auto& [phase, c] : counts) {
        std::printf("%-16s %4d/%-4d %5.1f%%\n", Name(static_cast<Phase>(phase)), c.first, c.second,
                    100.0 * c.first / c.second);
        recovered += c.first;
    }
    std::printf("%-16s %4d/%-4zu %5.1f%%\n", "all", recovered, cells.size(),
                cells.empty() ? 0.0 : 100.0 * recovered / static_cast<double>(cells.size()));
    std::printf("\"Done.\" while the radio held something else: %s\n",
                falseDone.empty() ? "none" : "");
    for (const std::string& label : falseDone)
        std::printf("  %s\n", label.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o))
        return 2;
    ::signal(SIGPIPE, SIG_IGN);
    const TempDir folder("quenta-matrix");
    if (folder.Path().empty()) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path root = folder.Path();
    const auto started = std::chrono::steady_clock::now();

    // Fault-free runs first: they must end "Done.", and their frames place the faults.
    std::vector<Cell> clean(3);  // one per transport
    for (std::size_t i = 0; i < clean.size(); ++i)
        clean[i].transport = static_cast<Transport>(i);
    const std::vector<RunResult> baselines = RunAll(clean, true, o.jobs, root, o.verbose);
    std::vector<Cell> cells;
    bool baselinesPassed = true;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        if (!baselines[i].passed) {
            std::cout << "fault-free run over " << Name(clean[i].transport) << " failed\n";
            baselinesPassed = false;
            continue;
        }
        const PhaseMap map = MapFrames(baselines[i].frames, baselines[i].codeplugReports);
        if (o.frames) {
            std::cout << Name(clean[i].transport) << ":\n";
            for (std::size_t f = 0; f < baselines[i].frames.size(); ++f) {
                std::string phase = "?";
                for (int p = 0; p <= static_cast<int>(Phase::kReadBack); ++p) {
                    const auto& in = map.frames[p];
                    if (std::find(in.begin(), in.end(), static_cast<int>(f)) != in.end())
                        phase = Name(static_cast<Phase>(p));
                }
                std::cout << "  " << f << " " << phase
                          << (baselines[i].frames[f].toBox ? " box " : " ")
                          << baselines[i].frames[f].payload.substr(0, 24) << "\n";
            }
        }
        for (const Cell& c : CellsFor(clean[i].transport, map)) {
            if (o.slice && !InSlice(c))
                continue;
            if (!o.filter.empty() && c.Label().find(o.filter) == std::string::npos)
                continue;
            cells.push_back(c);
        }
    }
    if (o.list || o.frames) {
        for (const Cell& c : cells)
            std::cout << c.Label() << "\n";
        return baselinesPassed ? 0 : 1;
    }

    const std::vector<RunResult> results = RunAll(cells, false, o.jobs, root, o.verbose);
    for (Transport t : {Transport::kDirect, Transport::kComponent, Transport::kBox})
        PrintTable(t, cells, results);
    PrintRecovery(cells, results);
    const auto passed =
        std::count_if(results.begin(), results.end(), [](const RunResult& r) { return r.passed; });
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
            .count();
    std::printf("\ncells %zu, passed %ld, failed %ld (%lld s, %d at a time)\n", cells.size(),
                static_cast<long>(passed), static_cast<long>(cells.size() - passed),
                static_cast<long long>(seconds), o.jobs);
    return baselinesPassed && passed == static_cast<long>(cells.size()) ? 0 : 1;
}
