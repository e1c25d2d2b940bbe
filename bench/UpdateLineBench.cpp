// update_line_bench: whole updates with quenta update against the simulated radio keeping to
// the line's real pace, and how close the tool comes to what the line and the stop-and-wait
// protocol allow. Not a test: it takes minutes of real time (the flash erase, the radio's
// restart and every byte at 115200 baud).
//
//   update_line_bench [--turnaround-us N] [--with-12mb]
//
// For each run it reports, per flashed image: the data bytes, the span from the first byte of
// its start command to its last frame, the payload rate over that span, the protocol's ceiling
// (the same data over the time of every frame of the image back to back on the wire) and their
// ratio; the span split into wire time, the simulated radio's lateness with the replies due
// within it, and the rest (the tool's turnarounds and anything else); and the ratio with the
// radio's lateness taken out of the span. For the run: the tool's median and largest turnaround
// (from a reply's last byte to the tool's next bytes, as the radio sees them), the radio's
// lateness in all, the tool's CPU time over the wall time of the whole update and over the
// images' spans, and the tool's peak resident memory.
#include <stdlib.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchChild.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int kCom = 7;
constexpr const char* kPassword = "pelican";

struct Run {
    std::string name;
    std::string packageDir;  // empty: the package quenta carries
    json scenario;
};

struct Outcome {
    int status = -1;
    double wallS = 0;
    double cpuS = 0;
    double peakRssMiB = 0;
    std::vector<std::string> wroteLines;
    json report;
};

bool Execute(const Run& run, const fs::path& work, Outcome& o) {
    const fs::path ports = work / "ports";
    const fs::path cwd = work / "cwd";
    fs::create_directories(ports);
    fs::create_directories(cwd);
    const fs::path scenario = work / "scenario.json";
    const fs::path report = work / "report.json";
    const fs::path password = work / "password.txt";
    std::ofstream(scenario) << run.scenario.dump(2);
    std::ofstream(password) << kPassword << "\n";

    bench::Child sim;
    std::string line;
    if (!bench::StartRadio(scenario, ports, kCom, report, work, sim, line)) {
        std::fprintf(stderr, "update_line_bench: the simulated radio did not start: %s\n",
                     line.c_str());
        return false;
    }

    std::vector<std::string> args = {
        QUENTA_BIN,   "update",       "--port",          "COM" + std::to_string(kCom),
        "--port-dir", ports.string(), "--password-file", password.string(),
        "--yes"};
    if (!run.packageDir.empty()) {
        args.push_back("--package");
        args.push_back(run.packageDir);
    }
    const bench::ToolRun tool = bench::RunTool(args, cwd, true, [&o](const std::string& line) {
        std::printf("  | %s\n", line.c_str());
        std::fflush(stdout);
        if (line.rfind("Wrote ", 0) == 0)
            o.wroteLines.push_back(line);
    });
    o.status = tool.status;
    o.wallS = tool.wallS;
    o.cpuS = tool.cpuS;
    o.peakRssMiB = tool.peakRssMiB;
    bench::StopRadio(sim);
    std::ifstream in(report);
    o.report = json::parse(in, nullptr, false);
    return !o.report.is_discarded();
}

void Print(const Run& run, const Outcome& o) {
    std::printf("\n%s: quenta update exit status %d, %.1f s\n", run.name.c_str(), o.status,
                o.wallS);
    std::printf("  %-12s %9s %9s %11s %13s %7s %8s %8s %8s %9s\n", "image", "bytes", "span s",
                "rate kB/s", "ceiling kB/s", "ratio", "wire s", "late s", "rest s", "w/o late");
    double spanS = 0;
    const json& images = o.report["flash"]["images"];
    for (std::size_t i = 0; i < images.size(); ++i) {
        const json& im = images[i];
        if (!im.contains("wire"))
            continue;
        const double bytes = im["bytes"].get<double>();
        const double span = im["wire"]["spanMs"].get<double>() / 1000;
        const double wire = im["wire"]["wireMs"].get<double>() / 1000;
        const double late = im["wire"].value("radioLateMs", 0.0) / 1000;
        const double punctual = span - late;  // the span had the radio kept its deadlines
        spanS += span;
        const char* role = i == 0 ? "loader" : (im["dspPages"].get<bool>() ? "dsp" : "code");
        std::printf("  %-12s %9.0f %9.2f %11.2f %13.2f %6.1f%% %8.2f %8.2f %8.2f %8.1f%%\n", role,
                    bytes, span, span > 0 ? bytes / span / 1000 : 0,
                    wire > 0 ? bytes / wire / 1000 : 0, span > 0 ? 100 * wire / span : 0, wire,
                    late, span - wire - late, punctual > 0 ? 100 * wire / punctual : 0);
    }
    for (const std::string& w : o.wroteLines)
        std::printf("  tool: %s\n", w.c_str());
    const json& line = o.report["line"];
    std::printf(
        "  tool turnaround: median %lld us, largest %lld us (%lld turnarounds, %.1f ms in all)\n",
        line["toolTurnaroundUsMedian"].get<long long>(),
        line["toolTurnaroundUsMax"].get<long long>(), line["toolTurnarounds"].get<long long>(),
        line.value("toolTurnaroundMs", 0.0));
    std::printf("  radio late with its %lld replies by %.1f ms in all, at most %.0f us with one\n",
                line.value("repliesDelivered", 0LL), line.value("radioLateMs", 0.0),
                line["replyLateUsMax"].get<double>());
    std::printf("  tool CPU %.2f s: %.2f%% of the wall time, %.2f%% of the images' spans\n", o.cpuS,
                o.wallS > 0 ? 100 * o.cpuS / o.wallS : 0, spanS > 0 ? 100 * o.cpuS / spanS : 0);
    std::printf("  tool peak RSS %.1f MiB\n", o.peakRssMiB);
    const auto violations = o.report["violations"];
    if (!violations.empty())
        std::printf("  radio saw %zu protocol violations, first: %s\n", violations.size(),
                    violations[0].get<std::string>().c_str());
}

void PrintMachine() {
    utsname u{};
    ::uname(&u);
    std::string cpu = "unknown processor";
    std::ifstream info("/proc/cpuinfo");
    for (std::string l; std::getline(info, l);) {
        if (l.rfind("model name", 0) == 0) {
            cpu = l.substr(l.find(':') + 2);
            break;
        }
    }
    std::printf("machine: %s, %u hardware threads, %s %s\n", cpu.c_str(),
                std::thread::hardware_concurrency(), u.sysname, u.release);
}

int Usage() {
    std::fputs("usage: update_line_bench [--turnaround-us N] [--with-12mb]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int turnaroundUs = 0;
    bool with12mb = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--turnaround-us" && i + 1 < argc) {
            turnaroundUs = std::atoi(argv[++i]);
        } else if (a == "--with-12mb") {
            with12mb = true;
        } else {
            return Usage();
        }
    }
    json demoRadio;
    {
        std::ifstream in(QUENTA_DEMO_RADIO_SCENARIO);
        demoRadio = json::parse(in, nullptr, false);
        if (demoRadio.is_discarded()) {
            std::fprintf(stderr, "update_line_bench: cannot read %s\n", QUENTA_DEMO_RADIO_SCENARIO);
            return 1;
        }
    }
    demoRadio["lineRate"] = true;
    demoRadio["turnaroundUs"] = turnaroundUs;
    // The radio is ready when the tool's own erase wait ends, so no image waits on it.
    demoRadio["flash"]["eraseMs"] = 0;

    std::vector<Run> runs = {
        {"demo package (carried by quenta)", "", demoRadio},
        {"400 KiB application", QUENTA_LINE_BENCH_PACKAGE_DIR, demoRadio},
    };
    if (with12mb) {
        // The example package: kind 6, Application/Boot with boot 4.3 current in the radio.
        json example = demoRadio;
        example["boot"]["version"] = {4, 3};
        runs.push_back({"12 MB example package", QUENTA_EXAMPLE_PACKAGE_12MB_DIR, example});
    }

    PrintMachine();
    std::printf("line-rate simulated radio, radio turnaround %d us\n", turnaroundUs);
    int failures = 0;
    for (const Run& run : runs) {
        std::string pattern = (fs::temp_directory_path() / "quenta-line-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return 1;
        const fs::path work = pattern;
        std::printf("\n%s\n", run.name.c_str());
        Outcome o;
        const bool ok = Execute(run, work, o);
        std::error_code ignored;
        fs::remove_all(work, ignored);
        if (!ok) {
            std::fprintf(stderr, "update_line_bench: no report from the simulated radio\n");
            return 1;
        }
        Print(run, o);
        failures += o.status != 0;
    }
    return failures == 0 ? 0 : 1;
}
