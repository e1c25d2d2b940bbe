#include "RetrieveCommand.h"

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "link/RadioLink.h"
#include "link/VersionRecord.h"

namespace {

const char* const kRetrieveFailed = "Communication error while retrieving version information.";
constexpr int kRetrieveBaud = 19200;

int Usage(std::ostream& err) {
    err << "usage: quenta retrieve --port COMn|DEVICE [--kind K]\n"
           "  Reads and prints the radio's version information; changes nothing in the radio.\n"
           "  --port   COM1..COM64 or a device path\n"
           "  --kind   target kind 0..8 (default "
        << int{kDefaultRetrieveKind} << ")\n";
    return 2;
}

// n for "COMn" (any case, 1..64), 0 otherwise.
int ComNumberOf(const std::string& name) {
    if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0)
        return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 64)
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return (n >= 1 && n <= 64) ? n : 0;
}

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
        } else if (a == "--help" || a == "-h") {
            Usage(std::cout);
            return 0;
        } else {
            return Usage(std::cerr);
        }
    }
    if (port.empty())
        return Usage(std::cerr);
    const int comNumber = ComNumberOf(port);
    if (comNumber == 0) {
        std::cerr << "quenta retrieve: " << port
                  << ": give the port as COM1..COM64 (device paths need the serial layer's "
                     "port directory)\n";
        return 2;
    }

    int qtArgc = 1;
    char name[] = "quenta";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    QtMessagePump pump;
    QtIntervalTimer timer;
    RadioLink link(pump);
    link.AttachTimer(timer);
    return RetrieveVersionInfo(link, comNumber, static_cast<TargetKind>(kind), std::cout,
                               std::cerr);
}
