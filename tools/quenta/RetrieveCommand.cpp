#include "RetrieveCommand.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "app/cli/CarriedPackage.h"
#include "app/cli/ExitStatus.h"
#include "app/cli/RadioSession.h"
#include "app/cli/Retrieve.h"
#include "serial/ComPortResolver.h"

namespace {

int Usage(std::ostream& err) {
    err << "usage: quenta retrieve --port COMn|DEVICE [--kind K] [--port-dir DIR] [--trace FILE]\n"
           "                      [--json]\n"
           "  Reads and prints the radio's version information; changes nothing in the radio.\n"
           "  --port        COM1..COM64 or a device path\n"
           "  --kind        target kind 0..8 (default: the carried package's, "
        << int{CarriedKind()}
        << ")\n"
           "  --port-dir    folder of COMn links to look in first (default "
        << serial::ComPortResolver::DefaultPortDirectory()
        << ")\n"
           "  --trace FILE  write every frame to FILE, which is replaced when the run ends:\n"
           "                milliseconds, W (sent, wire bytes) or R (received, payload),\n"
           "                hexadecimal bytes\n"
           "  --json        one JSON object per line instead of text: status and message\n"
           "                events, then {\"result\": {\"version\": {fileFormat, dsp, controller,\n"
           "                hardware, serial, boot, sem}, \"exitStatus\": N}}\n";
    return ToInt(ExitStatus::kUsage);
}

}  // namespace

int runRetrieveCommand(int argc, char** argv) {
    std::string port;
    std::string portDir;
    RetrieveOptions options;
    options.package = &CarriedPackage();
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            if (!port.empty()) {
                std::cerr << "quenta retrieve: --port given twice: it reads one radio\n";
                return ToInt(ExitStatus::kUsage);
            }
            port = argv[++i];
        } else if (a == "--kind" && i + 1 < argc) {
            char* end = nullptr;
            long k = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || k < 0 || k > 8)
                return Usage(std::cerr);
            options.kind = static_cast<TargetKind>(k);
        } else if (a == "--trace" && i + 1 < argc) {
            options.traceFile = argv[++i];
        } else if (a == "--json") {
            options.json = true;
        } else if (a == "--port-dir" && i + 1 < argc) {
            portDir = argv[++i];
        } else if (a == "--help" || a == "-h") {
            Usage(std::cout);
            return ToInt(ExitStatus::kDone);
        } else {
            return Usage(std::cerr);
        }
    }
    if (port.empty())
        return Usage(std::cerr);

    RadioSession session("retrieve");
    if (!session.ResolvePort(port, portDir))
        return ToInt(session.Failure());
    return RetrieveVersionInfo(session, options);
}
