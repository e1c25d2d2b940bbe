#include "PortFacts.h"

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace doctor {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The first process whose program name is `comm`, 0 when none runs.
pid_t FindProcess(const std::string& procRoot, const std::string& comm) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(procRoot, ec)) {
        const std::string pid = entry.path().filename().string();
        if (IsNumber(pid) && FirstLine(entry.path() / "comm") == comm)
            return static_cast<pid_t>(std::stol(pid));
    }
    return 0;
}

// brltty's rules file in the first rules folder that has one (a file of the same name in an
// earlier folder overrides a later one, as udev reads them).
std::string FindBrlttyRules(const std::vector<std::string>& dirs) {
    std::error_code ec;
    for (const std::string& dir : dirs) {
        for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
            const std::string file = entry.path().filename().string();
            if (file.find("brltty") != std::string::npos && entry.path().extension() == ".rules")
                return entry.path().string();
        }
    }
    return std::string();
}

std::string ReadWhole(const std::string& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether udev's record of the character device "major:minor" carries ID_MM_DEVICE_IGNORE=1.
bool MarkedForModemManager(const std::string& udevDataDir, const std::string& majorMinor) {
    if (majorMinor.empty())
        return false;
    std::ifstream record(udevDataDir + "/c" + majorMinor);
    for (std::string line; std::getline(record, line);) {
        if (line == "E:ID_MM_DEVICE_IGNORE=1")
            return true;
    }
    return false;
}

}  // namespace

std::optional<int> ReadLatencyTimer(const std::string& file) {
    const std::string value = FirstLine(file);
    if (!IsNumber(value) || value.size() > 6)
        return std::nullopt;
    return std::stoi(value);
}

SystemFacts GatherSystemFacts(const FactRoots& roots, serial::UserInfo user) {
    SystemFacts facts;
    facts.user = std::move(user);
    facts.modemManagerPid = FindProcess(roots.procRoot, "ModemManager");
    facts.brlttyRulesFile = FindBrlttyRules(roots.udevRulesDirs);
    if (!facts.brlttyRulesFile.empty())
        facts.brlttyRules = ReadWhole(facts.brlttyRulesFile);
    return facts;
}

PortFacts GatherPortFacts(const FactRoots& roots, const std::string& name,
                          const serial::OpenFailure& check,
                          const std::vector<serial::SerialDevice>& devices,
                          const std::vector<serial::ComPortEntry>& entries) {
    PortFacts facts;
    facts.name = name;
    facts.check = check;
    facts.device = serial::DeviceOf(check, devices);
    const std::string node = facts.device         ? facts.device->node
                             : check.node.empty() ? check.device
                                                  : check.node;
    if (check.kind == serial::FailureKind::kAbsent || node.empty())
        return facts;
    facts.nodeInfo = serial::ReadNodeInfo(node);
    const std::string real = serial::RealNode(node);
    for (const serial::ComPortEntry& entry : entries) {
        const std::string reached = entry.device ? entry.device->node : entry.check.node;
        if (!reached.empty() && serial::RealNode(reached) == real)
            facts.comNumbers.push_back(entry.comNumber);
    }
    if (facts.device) {
        const fs::path sys = facts.device->sysPath;
        facts.modemManagerIgnores =
            MarkedForModemManager(roots.udevDataDir, FirstLine(sys / "dev"));
        // The usb-serial port above the tty carries the FTDI driver's timer.
        const fs::path timer = sys / "device" / "latency_timer";
        std::error_code ec;
        if (fs::exists(timer, ec)) {
            facts.latencyTimerFile = timer.string();
            facts.latencyTimerMs = ReadLatencyTimer(facts.latencyTimerFile);
        }
    }
    facts.lock = serial::FindLiveLock(roots.lockDirs, real, false);
    facts.holderPid = serial::FindHolderPid(real, roots.procRoot);
    if (facts.holderPid == ::getpid())
        facts.holderPid = 0;
    if (facts.holderPid > 0)
        facts.holderName = serial::ProcessName(facts.holderPid, roots.procRoot);
    return facts;
}

}  // namespace doctor
