#include "QtUpdaterPlatform.h"

#include <stdlib.h>

#include <cstdio>

#include "app/core/CodeplugBackup.h"
#include "serial/ComPortResolver.h"
#include "serial/PosixSerialOs.h"

std::filesystem::path QtUpdaterPlatform::DefaultBackupDirectoryOrEmpty() {
    return DefaultBackupDirectory();
}

PortArgument::~PortArgument() {
    std::error_code ignored;
    if (!tempDir_.empty())
        std::filesystem::remove_all(tempDir_, ignored);
}

bool PortArgument::Resolve(const std::string& port, const std::string& portDir, std::string& error,
                           bool& usage) {
    usage = false;
    auto& resolver = serial::SystemSerialOs().Resolver();
    if (!portDir.empty())
        resolver.SetPortDirectory(portDir);
    const int n = serial::ComPortResolver::ParseComName(port);
    if (n > serial::ComPortResolver::kMaxComNumber) {
        error = port + ": COM ports are COM1 to COM" +
                std::to_string(serial::ComPortResolver::kMaxComNumber);
        usage = true;
        return false;
    }
    if (n > 0) {
        comNumber_ = n;
        return true;
    }
    // The link opens ports by COM number, so a device named by path is reached through a
    // COM1 link in a port directory of this run's own.
    std::string pattern = std::filesystem::temp_directory_path() / "quenta-port-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a port directory for " + port;
        return false;
    }
    tempDir_ = pattern;
    std::error_code ec;
    std::filesystem::create_symlink(std::filesystem::absolute(port, ec), tempDir_ + "/COM1", ec);
    if (ec) {
        error = "cannot make a port directory for " + port + ": " + ec.message();
        return false;
    }
    resolver.SetPortDirectory(tempDir_);
    comNumber_ = 1;
    return true;
}

RadioLink::TraceSink FrameTraceWriter(MessagePump& pump, std::FILE* out) {
    const std::int64_t start = pump.NowMilliseconds();
    return [start, out](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
        std::fprintf(out, "%8lld %c", static_cast<long long>(ms - start), direction);
        for (int i = 0; i < count; ++i)
            std::fprintf(out, " %02X", bytes[i]);
        std::fputc('\n', out);
    };
}

void TraceFrames(RadioLink& link, MessagePump& pump, std::FILE* out) {
    link.SetTraceSink(FrameTraceWriter(pump, out));
}
