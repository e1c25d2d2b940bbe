// several_radios_bench: N radios updated at once by one `quenta update --port ... --json`,
// against N simulated radios keeping to the line's real pace (the demo radio and the package
// quenta carries), for N = 1, 2, 4, 8 (or the N given). Not a test: each round takes the
// minute a whole update takes at the line's pace.
//
//   several_radios_bench [N ...]
//
// Per N it reports each radio's update time against the single radio's, the whole tool's CPU
// time (the parent and its children) over the wall time, the largest peak resident memory of
// any of its processes, and whether every radio ended done with its codeplug converted to 5.10
// and verified.
#include <signal.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kPassword = "pelican";

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;  // its standard output (standard error stays the bench's)
};

Child Spawn(const std::vector<std::string>& args, const fs::path& cwd) {
    Child c;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return c;
    c.pid = ::fork();
    if (c.pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::setsid();  // no terminal: nothing is asked on one
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

bool ReadLine(FILE* f, std::string& line) {
    line.clear();
    char buf[8192];
    while (f != nullptr && std::fgets(buf, sizeof buf, f) != nullptr) {
        line += buf;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            return true;
        }
    }
    return !line.empty();
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

struct Round {
    int radios = 0;
    bool ok = false;
    double wallS = 0;
    double cpuS = 0;
    double peakRssMiB = 0;
    std::vector<double> radioS;  // per port, in port order
    int converted = 0;           // radios done with a verified 5.10 codeplug
};

bool RunRound(int n, const fs::path& work, Round& round) {
    round.radios = n;
    const fs::path ports = work / "ports";
    const fs::path cwd = work / "cwd";
    fs::create_directories(ports);
    fs::create_directories(cwd);
    const fs::path password = work / "password.txt";
    std::ofstream(password) << kPassword << "\n";
    std::ifstream in(QUENTA_DEMO_RADIO_SCENARIO);
    json scenario = json::parse(in);
    scenario["lineRate"] = true;
    scenario["flash"]["eraseMs"] = 0;  // ready when the tool's own erase wait ends
    const fs::path scenarioFile = work / "scenario.json";
    std::ofstream(scenarioFile) << scenario.dump();

    std::vector<Child> sims;
    std::vector<std::string> args = {QUENTA_BIN,     "update",          "--port-dir",
                                     ports.string(), "--password-file", password.string(),
                                     "--yes",        "--json"};
    for (int i = 1; i <= n; ++i) {
        sims.push_back(Spawn({QUENTA_RADIOSIM_BIN, "--scenario", scenarioFile.string(),
                              "--port-dir", ports.string(), "--com", std::to_string(i), "--report",
                              (work / ("report" + std::to_string(i))).string()},
                             work));
        std::string line;
        if (!ReadLine(sims.back().out, line) || line.rfind("COM", 0) != 0) {
            std::fprintf(stderr, "several_radios_bench: radio %d did not start\n", i);
            return false;
        }
        args.insert(args.end(), {"--port", "COM" + std::to_string(i)});
    }
    // One radio is the plain update (no parent); several, the parent and a child per port.
    const auto start = std::chrono::steady_clock::now();
    Child tool = Spawn(args, cwd);
    std::map<std::string, double> seconds;
    std::string line;
    while (ReadLine(tool.out, line)) {
        const json event = json::parse(line, nullptr, false);
        if (!event.is_object())
            continue;
        if (event.contains("result")) {
            const json& r = event["result"];
            if (r.value("state", "") == "done" && r.value("formatAfter", "") == "5.10" &&
                r.value("codeplugVerified", false))
                ++round.converted;
        }
        if (event.contains("summary")) {
            for (const json& p : event["summary"]["ports"])
                seconds[p.value("port", "")] = p.value("seconds", 0.0);
        }
    }
    int raw = 0;
    rusage usage{};  // the tool's and that of every child of its own it waited for
    ::wait4(tool.pid, &raw, 0, &usage);
    round.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fclose(tool.out);
    round.cpuS = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    round.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024;  // its largest process
    for (int i = 1; i <= n; ++i)
        round.radioS.push_back(seconds.count("COM" + std::to_string(i)) != 0
                                   ? seconds["COM" + std::to_string(i)]
                                   : round.wallS);
    for (Child& sim : sims) {
        ::kill(sim.pid, SIGTERM);
        std::string rest;
        while (ReadLine(sim.out, rest)) {
        }
        ::waitpid(sim.pid, nullptr, 0);
        std::fclose(sim.out);
    }
    round.ok = WIFEXITED(raw) && WEXITSTATUS(raw) == 0 && round.converted == n;
    return true;
}

void PrintMachine() {
    utsname u{};
    ::uname(&u);
    std::ifstream cpu("/proc/cpuinfo");
    std::string line, model;
    while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    std::printf("%s, %ld processors, %s %s\n", model.c_str(), ::sysconf(_SC_NPROCESSORS_ONLN),
                u.sysname, u.release);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        const int n = std::atoi(argv[i]);
        if (n < 1 || n > 64) {
            std::fputs("usage: several_radios_bench [N ...] (1 to 64 radios a round)\n", stderr);
            return 2;
        }
        counts.push_back(n);
    }
    if (counts.empty())
        counts = {1, 2, 4, 8};
    PrintMachine();
    std::printf("%-3s %-10s %-10s %-10s %-12s %-12s %-10s %s\n", "N", "wall s", "radio s", "vs one",
                "CPU/wall %", "peak RSS MiB", "converted", "result");
    double single = 0;
    int failures = 0;
    for (const int n : counts) {
        std::string pattern = (fs::temp_directory_path() / "quenta-several-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return 1;
        Round round;
        const bool ran = RunRound(n, pattern, round);
        std::error_code ignored;
        fs::remove_all(pattern, ignored);
        if (!ran)
            return 1;
        const double slowest = *std::max_element(round.radioS.begin(), round.radioS.end());
        if (n == 1 || single == 0)
            single = slowest;
        std::printf("%-3d %-10.1f %-10.1f %-10s %-12.1f %-12.1f %d/%-8d %s\n", n, round.wallS,
                    slowest,
                    (std::to_string(static_cast<int>(100 * slowest / single + 0.5)) + "%").c_str(),
                    100 * round.cpuS / round.wallS, round.peakRssMiB, round.converted, n,
                    round.ok ? "done" : "FAILED");
        std::fflush(stdout);
        failures += round.ok ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
