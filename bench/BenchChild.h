#pragma once
// What the benchmarks that run whole updates share: a child program whose output is read line
// by line, the simulated radio started and stopped around a round, and the tool's run measured
// (wall time, its CPU time and that of the children it waited for, its peak memory).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;  // its standard output (and error, when asked for)
};

// Runs args[0] with args in cwd, in a session of its own (no terminal: nothing is asked on
// one); its standard error goes to the pipe too when withStderr, else stays the bench's.
inline Child Spawn(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                   bool withStderr) {
    Child c;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return c;
    c.pid = ::fork();
    if (c.pid == 0) {
        ::dup2(pipeFds[1], 1);
        if (withStderr)
            ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::setsid();
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    c.out = ::fdopen(pipeFds[0], "r");
    return c;
}

// The next line of f, whatever its length, without its line end; false at the end.
inline bool ReadLine(FILE* f, std::string& line) {
    line.clear();
    char buf[8192];
    while (f != nullptr && std::fgets(buf, sizeof buf, f) != nullptr) {
        line += buf;
        if (line.back() == '\n')
            break;
    }
    if (line.empty())
        return false;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return true;
}

inline double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Ends the simulated radio: it writes its report as it goes.
inline void StopRadio(Child& sim) {
    if (sim.pid <= 0)
        return;
    ::kill(sim.pid, SIGTERM);
    std::string rest;
    while (ReadLine(sim.out, rest)) {
    }
    ::waitpid(sim.pid, nullptr, 0);
    if (sim.out != nullptr)
        std::fclose(sim.out);
    sim = Child{};
}

// The simulated radio on COM<com> in the port folder ports, playing scenario and writing its
// report on exit; started once it has said its port. When it has not, sim is ended and line
// holds what it said.
inline bool StartRadio(const std::filesystem::path& scenario, const std::filesystem::path& ports,
                       int com, const std::filesystem::path& report,
                       const std::filesystem::path& cwd, Child& sim, std::string& line) {
    sim = Spawn({QUENTA_RADIOSIM_BIN, "--scenario", scenario.string(), "--port-dir", ports.string(),
                 "--com", std::to_string(com), "--report", report.string()},
                cwd, false);
    if (ReadLine(sim.out, line) && line.rfind("COM", 0) == 0)
        return true;
    StopRadio(sim);
    return false;
}

struct ToolRun {
    int status = -1;  // the exit status; -1 when it did not exit
    double wallS = 0;
    double cpuS = 0;        // its own and that of every child of its own it waited for
    double peakRssMiB = 0;  // its largest process
};

// Runs the tool to its end, each line of its output handed to onLine.
inline ToolRun RunTool(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                       bool withStderr, const std::function<void(const std::string&)>& onLine) {
    ToolRun run;
    const auto start = std::chrono::steady_clock::now();
    Child tool = Spawn(args, cwd, withStderr);
    std::string line;
    while (ReadLine(tool.out, line))
        onLine(line);
    int raw = 0;
    rusage usage{};
    ::wait4(tool.pid, &raw, 0, &usage);
    run.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (tool.out != nullptr)
        std::fclose(tool.out);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.cpuS = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024;  // kilobytes on Linux
    return run;
}

}  // namespace bench
