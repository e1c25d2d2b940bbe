// quenta: the command-line front end of Quenta Code Updater.
#include <cstdio>
#include <cstring>
#include <exception>

#include "CodeplugCommand.h"
#include "DemoCommand.h"
#include "DoctorCommand.h"
#include "HistoryCommand.h"
#include "InfoCommand.h"
#include "PortsCommand.h"
#include "ReportCommand.h"
#include "RetrieveCommand.h"
#include "UpdateCommand.h"
#include "common/ProgramVersion.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Command kCommands[] = {
    {"codeplug", runCodeplugCommand, "inspect, check, convert and generate codeplug files"},
    {"demo", runDemoCommand, "update a simulated radio, start to end, to see the tool work"},
    {"doctor", runDoctorCommand, "tell what stands between this PC and the radio, with the fixes"},
    {"history", runHistoryCommand, "list the update journal's runs, newest first"},
    {"info", runInfoCommand, "show the firmware package this program carries"},
    {"ports", runPortsCommand, "list the COM ports that reach a device, with the adapters' names"},
    {"report", runReportCommand, "write a support report (.tar.gz) to send with a bug"},
    {"retrieve", runRetrieveCommand, "read and show the radio's version information"},
    {"update", runUpdateCommand,
     "update the radio (or several at once) with the firmware this program carries"},
};

int usage(FILE* to) {
    std::fputs("usage: quenta COMMAND [ARGS]\n       quenta --version | --help\n\ncommands:\n", to);
    for (const Command& c : kCommands)
        std::fprintf(to, "  %-10s %s\n", c.name, c.summary);
    std::fputs("\n'quenta COMMAND --help' describes a command.\n", to);
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage(stderr);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0)
        return usage(stdout);
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quenta %s\n", quenta::kVersion);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) != 0)
            continue;
        // Nothing below throws by design; whatever still escapes (out of memory, a failing
        // platform) is a failure, never a success.
        try {
            return c.run(argc - 2, argv + 2);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quenta %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "quenta: unknown command %s\n", argv[1]);
    return usage(stderr);
}
