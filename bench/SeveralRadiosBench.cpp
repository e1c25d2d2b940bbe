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
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "BenchChild.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kPassword = "pelican";

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

    std::vector<bench::Child> sims(static_cast<std::size_t>(n));
    std::vector<std::string> args = {QUENTA_BIN,     "update",          "--port-dir",
                                     ports.string(), "--password-file", password.string(),
                                     "--yes",        "--json"};
    auto stopRadios = [&sims] {
        for (bench::Child& sim : sims)
            bench::StopRadio(sim);
    };
    for (int i = 1; i <= n; ++i) {
        std::string line;
        if (!bench::StartRadio(scenarioFile, ports, i, work / ("report" + std::to_string(i)), work,
                               sims[static_cast<std::size_t>(i - 1)], line)) {
            std::fprintf(stderr, "several_radios_bench: radio %d did not start\n", i);
            stopRadios();
            return false;
        }
        args.insert(args.end(), {"--port", "COM" + std::to_string(i)});
    }
    // One radio is the plain update (no parent); several, the parent and a child per port.
    std::map<std::string, double> seconds;
    const bench::ToolRun tool = bench::RunTool(args, cwd, false, [&](const std::string& line) {
        const json event = json::parse(line, nullptr, false);
        if (!event.is_object())
            return;
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
    });
    round.wallS = tool.wallS;
    round.cpuS = tool.cpuS;
    round.peakRssMiB = tool.peakRssMiB;
    for (int i = 1; i <= n; ++i)
        round.radioS.push_back(seconds.count("COM" + std::to_string(i)) != 0
                                   ? seconds["COM" + std::to_string(i)]
                                   : round.wallS);
    stopRadios();
    round.ok = tool.status == 0 && round.converted == n;
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
