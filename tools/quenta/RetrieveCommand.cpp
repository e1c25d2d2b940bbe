#include "RetrieveCommand.h"

#include <QCoreApplication>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "QtUpdaterPlatform.h"
#include "TerminalView.h"
#include "app/core/CodeUpdater.h"
#include "app/package/LocalPackages.h"
#include "link/VersionRecord.h"
#include "serial/ComPortResolver.h"

namespace {

TargetKind CarriedKind() {
    ResourceAttributes a;
    ReadPackageAttributes(CarriedPackage(), a);
    return TargetKindFromPackage(a.RadioFamily, a.Series, a.KindBySeries == 0);
}

int Usage(std::ostream& err) {
    err << "usage: quenta retrieve --port COMn|DEVICE [--kind K] [--port-dir DIR] [--trace]\n"
           "  Reads and prints the radio's version information; changes nothing in the radio.\n"
           "  --port      COM1..COM64 or a device path\n"
           "  --kind      target kind 0..8 (default: the carried package's, "
        << int{CarriedKind()}
        << ")\n"
           "  --port-dir  folder of COMn links to look in first (default "
        << serial::ComPortResolver::DefaultPortDirectory()
        << ")\n"
           "  --trace     every frame on stderr: milliseconds, W (sent, wire bytes) or R\n"
           "              (received, payload), hexadecimal bytes\n";
    return 2;
}

}  // namespace

const PackageResources& DefaultRetrievePackage() {
    static const MemoryPackage package = [] {
        MemoryPackage p;
        ResourceAttributes attributes;
        attributes.RadioFamily = 0;
        attributes.Series = 4;
        p.PutAttributes(attributes);
        return p;
    }();
    return package;
}

const PackageResources& CarriedPackage() {
    static const std::unique_ptr<PackageResources> carried = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    if (carried && ReadPackageAttributes(*carried, attributes))
        return *carried;
    return DefaultRetrievePackage();
}

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

int RetrieveVersionInfo(const RetrieveOptions& options, std::ostream& out, std::ostream& err) {
    QtUpdaterPlatform qt;
    TerminalView::Options viewOptions;
    viewOptions.comNumber = options.comNumber;
    viewOptions.titledMessages = false;
    TerminalView view(viewOptions, out, err);
    CodeUpdater updater(view, qt.platform,
                        options.package ? *options.package : DefaultRetrievePackage());
    updater.Initialise();
    if (options.kind)
        updater.SetTargetKind(*options.kind);
    if (options.trace)
        TraceFrames(updater.Link(), qt.pump, stderr);
    updater.m_RetrieveVersionInfoButtonClick();
    return view.VersionShown() ? 0 : 1;
}

int runRetrieveCommand(int argc, char** argv) {
    std::string port;
    std::string portDir;
    RetrieveOptions options;
    options.package = &CarriedPackage();
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (a == "--kind" && i + 1 < argc) {
            char* end = nullptr;
            long k = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || k < 0 || k > 8)
                return Usage(std::cerr);
            options.kind = static_cast<TargetKind>(k);
        } else if (a == "--trace") {
            options.trace = true;
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

    PortArgument portArgument;
    std::string error;
    bool usage = false;
    if (!portArgument.Resolve(port, portDir, error, usage)) {
        std::cerr << "quenta retrieve: " << error << "\n";
        return usage ? 2 : 1;
    }
    options.comNumber = portArgument.ComNumber();

    int qtArgc = 1;
    char name[] = "quenta";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    return RetrieveVersionInfo(options, std::cout, std::cerr);
}
