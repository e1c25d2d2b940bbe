#include "DoctorCommand.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>

#include "app/cli/ExitStatus.h"
#include "serial/PosixSerialOs.h"

namespace {

int Usage(std::ostream& err) {
    err << "usage: quenta doctor [--port P] [--port-dir DIR] [--loopback] [--json]\n"
           "  Tells what stands between this PC and the radio, each finding with its fix:\n"
           "  the device's group and permissions, ModemManager and brltty, the adapter's chip\n"
           "  and driver, its latency timer, who holds the port and the COM name that reaches\n"
           "  it. Exit 0 when nothing blocks an update, 1 when something does.\n"
           "  --port      the port to check (COMn or a device path; default: every port that\n"
           "              reaches a device)\n"
           "  --port-dir  folder of COMn links to look in first (default ~/.config/quenta/ports)\n"
           "  --loopback  with a plug joining TX and RX: send patterns at 19200 and 115200\n"
           "              baud, check every byte and time the round trip\n"
           "  --json      one JSON object\n";
    return ToInt(ExitStatus::kUsage);
}

std::string FormatMs(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", ms);
    return text;
}

std::string NodeOf(const doctor::PortFacts& facts) {
    if (facts.device)
        return facts.device->node;
    return facts.check.node.empty() ? facts.check.device : facts.check.node;
}

struct Examined {
    doctor::PortFacts facts;
    std::vector<doctor::Finding> findings;
    std::optional<doctor::LoopbackResult> loopback;
};

}  // namespace

std::vector<doctor::Finding> LoopbackFindings(const doctor::LoopbackResult& result,
                                              const doctor::PortFacts& port) {
    using doctor::Severity;
    std::vector<doctor::Finding> out;
    if (!result.openProblem.empty()) {
        out.push_back({"loopback", Severity::kBlocker,
                       "the port could not be opened: " + result.openProblem, ""});
        return out;
    }
    for (const doctor::LoopbackRate& rate : result.rates) {
        const std::string baud = std::to_string(rate.baudRate) + " baud: ";
        if (rate.problem.empty()) {
            out.push_back({"loopback", Severity::kOk,
                           baud + std::to_string(rate.bytesChecked) +
                               " bytes came back unchanged; round trip median " +
                               FormatMs(rate.medianMs) + ", 99th percentile " +
                               FormatMs(rate.p99Ms),
                           ""});
        } else {
            out.push_back({"loopback", Severity::kBlocker, baud + rate.problem,
                           "check that the plug joins TX and RX; a cable that fails here fails "
                           "an update: replace it"});
        }
    }
    if (result.latencyWhileOpenMs) {
        const int ms = *result.latencyWhileOpenMs;
        if (ms > 1)
            out.push_back({"latency", Severity::kWarning,
                           "the latency timer stayed at " + std::to_string(ms) +
                               " ms while the port was open: the driver ignores low latency",
                           "echo 1 | sudo tee " + port.latencyTimerFile});
        else
            out.push_back({"latency", Severity::kOk,
                           "low latency can be set: the latency timer was " + std::to_string(ms) +
                               " ms while the port was open",
                           ""});
    }
    return out;
}

std::string FindingsText(const std::string& title, const std::vector<doctor::Finding>& findings) {
    std::string text = title + "\n";
    for (const doctor::Finding& f : findings) {
        std::string label = std::string("  ") + doctor::SeverityName(f.severity);
        label.resize(11, ' ');
        std::string topic = f.topic;
        topic.resize(std::max<std::size_t>(topic.size() + 1, 13), ' ');
        text += label + topic + f.text + "\n";
        if (!f.fix.empty())
            text += std::string(11 + 13, ' ') + "fix: " + f.fix + "\n";
    }
    return text;
}

nlohmann::json FindingsJson(const std::vector<doctor::Finding>& findings) {
    nlohmann::json list = nlohmann::json::array();
    for (const doctor::Finding& f : findings) {
        nlohmann::json j;
        j["topic"] = f.topic;
        j["severity"] = doctor::SeverityName(f.severity);
        j["text"] = f.text;
        if (!f.fix.empty())
            j["fix"] = f.fix;
        list.push_back(j);
    }
    return list;
}

int runDoctorCommand(int argc, char** argv) {
    std::string port;
    bool loopback = false;
    bool json = false;
    serial::PosixSerialOs& os = serial::SystemSerialOs();
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (a == "--port-dir" && i + 1 < argc) {
            const std::string dir = argv[++i];
            std::error_code ec;
            if (!std::filesystem::is_directory(dir, ec)) {
                std::cerr << "quenta doctor: --port-dir " << dir << " is not a folder\n";
                return ToInt(ExitStatus::kUsage);
            }
            os.Resolver().SetPortDirectory(dir);
        } else if (a == "--loopback") {
            loopback = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--help") {
            Usage(std::cout);
            return ToInt(ExitStatus::kDone);
        } else {
            std::cerr << "quenta doctor: unexpected argument " << a << "\n";
            return Usage(std::cerr);
        }
    }

    doctor::FactRoots roots;
    roots.lockDirs = os.LockDirectories();
    const doctor::SystemFacts system = doctor::GatherSystemFacts(roots, serial::CurrentUserInfo());
    const std::vector<serial::SerialDevice> devices = serial::SystemSerialDevices()->Devices();
    const std::vector<serial::ComPortEntry> entries =
        serial::ListComPorts([&os](int n) { return os.Check("COM" + std::to_string(n)); }, devices);

    // The ports to look at: the one asked for, or every COM entry that reaches a device.
    std::vector<std::string> names;
    if (!port.empty()) {
        names.push_back(port);
    } else {
        std::set<std::string> nodes;
        for (const serial::ComPortEntry& entry : entries) {
            if (entry.check.kind == serial::FailureKind::kAbsent)
                continue;
            const std::string node = serial::RealNode(entry.check.device);
            if (nodes.insert(node).second)
                names.push_back("COM" + std::to_string(entry.comNumber));
        }
    }
    if (loopback && names.size() != 1) {
        std::cerr << "quenta doctor: --loopback needs --port"
                  << (names.empty() ? "" : " when several ports reach a device") << "\n";
        return ToInt(ExitStatus::kUsage);
    }

    std::vector<Examined> examined;
    for (const std::string& name : names) {
        Examined e;
        e.facts = doctor::GatherPortFacts(roots, name, os.Check(name), devices, entries);
        e.findings = doctor::ExaminePort(system, e.facts);
        if (loopback) {
            if (doctor::Blocks(e.findings)) {
                e.findings.push_back({"loopback", doctor::Severity::kNote,
                                      "not run: fix what blocks the port first", ""});
            } else {
                doctor::LoopbackOptions options;
                options.latencyTimerFile = e.facts.latencyTimerFile;
                e.loopback = doctor::RunLoopback(name, options);
                for (doctor::Finding& f : LoopbackFindings(*e.loopback, e.facts))
                    e.findings.push_back(std::move(f));
            }
        }
        examined.push_back(std::move(e));
    }
    const std::vector<doctor::Finding> noDevice =
        names.empty() ? doctor::ExamineNoDevice(system) : std::vector<doctor::Finding>();

    std::size_t blocking = 0;
    for (const Examined& e : examined) {
        for (const doctor::Finding& f : e.findings)
            blocking += f.severity == doctor::Severity::kBlocker;
    }
    for (const doctor::Finding& f : noDevice)
        blocking += f.severity == doctor::Severity::kBlocker;

    if (json) {
        nlohmann::json out;
        out["ports"] = nlohmann::json::array();
        for (const Examined& e : examined) {
            nlohmann::json p;
            p["port"] = e.facts.name;
            p["node"] = NodeOf(e.facts);
            p["findings"] = FindingsJson(e.findings);
            if (e.loopback) {
                nlohmann::json rates = nlohmann::json::array();
                for (const doctor::LoopbackRate& r : e.loopback->rates) {
                    nlohmann::json rj;
                    rj["baudRate"] = r.baudRate;
                    rj["bytesSent"] = r.bytesSent;
                    rj["bytesChecked"] = r.bytesChecked;
                    rj["passed"] = r.problem.empty();
                    if (r.problem.empty()) {
                        rj["medianMs"] = r.medianMs;
                        rj["p99Ms"] = r.p99Ms;
                    } else {
                        rj["problem"] = r.problem;
                    }
                    rates.push_back(rj);
                }
                p["loopback"] = rates;
            }
            out["ports"].push_back(p);
        }
        if (!noDevice.empty())
            out["findings"] = FindingsJson(noDevice);
        out["blocked"] = blocking > 0;
        std::cout << out.dump() << "\n";
    } else {
        for (const Examined& e : examined) {
            std::string title = e.facts.name;
            const std::string node = NodeOf(e.facts);
            if (!node.empty() && node != e.facts.name)
                title += "  " + node;
            std::cout << FindingsText(title, e.findings) << "\n";
        }
        if (!noDevice.empty())
            std::cout << FindingsText("No port", noDevice) << "\n";
        if (blocking == 0)
            std::cout << "Nothing blocks an update.\n";
        else
            std::cout << blocking << (blocking == 1 ? " finding blocks" : " findings block")
                      << " an update.\n";
    }
    return ToInt(blocking == 0 ? ExitStatus::kDone : ExitStatus::kFailed);
}
