#include "RetrieveCommand.h"

#include <stdlib.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "link/RadioLink.h"
#include "link/VersionRecord.h"
#include "serial/ComPortResolver.h"
#include "serial/PosixSerialOs.h"

namespace {

const char* const kRetrieveFailed = "Communication error while retrieving version information.";
constexpr int kRetrieveBaud = 19200;

int Usage(std::ostream& err) {
    err << "usage: quenta retrieve --port COMn|DEVICE [--kind K] [--port-dir DIR] [--trace]\n"
           "  Reads and prints the radio's version information; changes nothing in the radio.\n"
           "  --port      COM1..COM64 or a device path\n"
           "  --kind      target kind 0..8 (default "
        << int{kDefaultRetrieveKind}
        << ")\n"
           "  --port-dir  folder of COMn links to look in first (default "
        << serial::ComPortResolver::DefaultPortDirectory()
        << ")\n"
           "  --trace     every frame on stderr: milliseconds, W (sent, wire bytes) or R\n"
           "              (received, payload), hexadecimal bytes\n";
    return 2;
}

// A port directory holding only COM1, a link to a device path: the direct device opens
// ports by COM number, so a device named by path is reached through this link.
class DevicePortDirectory {
  public:
    explicit DevicePortDirectory(const std::string& device) {
        std::string pattern = std::filesystem::temp_directory_path() / "quenta-retrieve-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        dir_ = pattern;
        std::error_code ec;
        std::filesystem::create_symlink(std::filesystem::absolute(device, ec), dir_ + "/COM1", ec);
        if (ec)
            return;
        ok_ = true;
    }
    ~DevicePortDirectory() {
        std::error_code ignored;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ignored);
    }
    bool Ok() const { return ok_; }
    const std::string& Path() const { return dir_; }

  private:
    std::string dir_;
    bool ok_ = false;
};

}  // namespace

std::string FormatVersionInfo(const VersionRecord& r, TargetKind kind) {
    namespace vt = version_text;
    std::ostringstream s;
    s << vt::kFileFormatLabel << ' ' << vt::FileFormatVersion(r) << '\n'
      << vt::kDspLabel << ' ' << vt::DspVersion(r) << '\n'
      << vt::kControllerLabel << ' ' << vt::ControllerVersion(r) << '\n'
      << vt::kHardwareLabel << ' ' << vt::HardwareRevision(r, kind) << '\n'
      << vt::kSerialLabel << ' ' << vt::SerialNumber(r) << '\n'
      << vt::kBootLabel << ' ' << vt::BootVersion(r) << '\n'
      << vt::kSemLabel << ' ' << vt::SemVersion(r) << '\n';
    return s.str();
}

int RetrieveVersionInfo(RadioLink& link, int portNumber, TargetKind kind, std::ostream& out,
                        std::ostream& err) {
    std::string errorText;
    if (!link.OpenDevice(portNumber, kRetrieveBaud, false, errorText)) {
        err << errorText << '\n';
        const std::string detail = link.OpenErrorDetail();
        if (!detail.empty())
            err << detail << '\n';
        link.Close();
        return 1;
    }
    link.SetFramed(true);
    link.SetEnabled(true);
    VersionRecord record;
    const LinkResult result = link.RetrieveVersionRecord(kind, record, true);
    link.SetEnabled(false);
    link.Close();
    if (!version_text::IsShowable(result)) {
        err << kRetrieveFailed << '\n';
        return 1;
    }
    out << FormatVersionInfo(record, kind);
    return 0;
}

int runRetrieveCommand(int argc, char** argv) {
    std::string port;
    std::string portDir;
    bool trace = false;
    int kind = kDefaultRetrieveKind;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (a == "--kind" && i + 1 < argc) {
            char* end = nullptr;
            long k = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || k < 0 || k > 8)
                return Usage(std::cerr);
            kind = static_cast<int>(k);
        } else if (a == "--trace") {
            trace = true;
        } else if (a == "--port-dir" && i + 1 < argc) {
            portDir = argv[++i];
        } else if (a == "--help" || a == "-h") {
            Usage(std::cout);
            return 0;
        } else {
            return Usage(std::cerr);
        }
    }
    if (port.empty())
        return Usage(std::cerr);

    auto& resolver = serial::SystemSerialOs().Resolver();
    if (!portDir.empty())
        resolver.SetPortDirectory(portDir);
    int comNumber = serial::ComPortResolver::ParseComName(port);
    if (comNumber > serial::ComPortResolver::kMaxComNumber) {
        std::cerr << "quenta retrieve: " << port << ": COM ports are COM1 to COM"
                  << serial::ComPortResolver::kMaxComNumber << "\n";
        return 2;
    }
    std::unique_ptr<DevicePortDirectory> deviceDir;
    if (comNumber == 0) {
        deviceDir = std::make_unique<DevicePortDirectory>(port);
        if (!deviceDir->Ok()) {
            std::cerr << "quenta retrieve: cannot make a port directory for " << port << "\n";
            return 1;
        }
        resolver.SetPortDirectory(deviceDir->Path());
        comNumber = 1;
    }

    int qtArgc = 1;
    char name[] = "quenta";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    QtMessagePump pump;
    QtIntervalTimer timer;
    RadioLink link(pump);
    link.AttachTimer(timer);
    if (trace) {
        const std::int64_t start = pump.NowMilliseconds();
        link.SetTraceSink(
            [start](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
                std::fprintf(stderr, "%8lld %c", static_cast<long long>(ms - start), direction);
                for (int i = 0; i < count; ++i)
                    std::fprintf(stderr, " %02X", bytes[i]);
                std::fputc('\n', stderr);
            });
    }
    return RetrieveVersionInfo(link, comNumber, static_cast<TargetKind>(kind), std::cout,
                               std::cerr);
}
