#include "CodeplugRadioCommand.h"

#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "FileIo.h"
#include "QtUpdaterPlatform.h"
#include "RetrieveCommand.h"
#include "TerminalView.h"
#include "app/core/CodeUpdater.h"
#include "app/core/RadioCodeplug.h"
#include "convert/CodeplugCheck.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

namespace {

int Usage(const std::string& verb, const std::string& problem) {
    std::cerr << "quenta codeplug " << verb << ": " << problem << "\n"
              << "usage: quenta codeplug " << verb << " --port COMn|DEVICE [--port-dir DIR] "
              << (verb == "read" ? "OUT" : "IN") << "\n";
    return 2;
}

}  // namespace

int runCodeplugRadioCommand(const std::string& verb, const std::vector<std::string>& args) {
    std::string port, portDir, file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size())
            port = args[++i];
        else if (args[i] == "--port-dir" && i + 1 < args.size())
            portDir = args[++i];
        else if (file.empty() && !args[i].empty() && args[i][0] != '-')
            file = args[i];
        else
            return Usage(verb, "unexpected argument " + args[i]);
    }
    if (port.empty() || file.empty())
        return Usage(verb, "expected --port and a file");

    std::vector<std::uint8_t> codeplug;
    if (verb == "write") {
        bool tooLong = false;
        std::string error;
        if (!readSmallFile(file, kTransferImageBytes, codeplug, tooLong, error)) {
            std::cerr << "quenta codeplug write: " << error << "\n";
            return 1;
        }
        // A file that is no codeplug is refused before the port is opened, not after.
        std::string problem;
        if (codeplug.empty()) {
            problem = file + " is empty";
        } else if (codeplug.size() % 2 != 0) {
            problem = file + " has an odd length; a codeplug is a whole number of 16-bit words";
        } else {
            auto img = std::make_unique<CodeplugImage>();
            loadRadioBytes(*img, codeplug.data(), codeplug.size());
            const CodeplugCheck check = checkCodeplug(*img);
            if (!check.ok)
                problem = file + ": not a well-formed codeplug: " + check.reason;
        }
        if (!problem.empty()) {
            std::cerr << "quenta codeplug write: " << problem << "\n";
            return 1;
        }
    }
    PortArgument portArgument;
    std::string error;
    bool usage = false;
    if (!portArgument.Resolve(port, portDir, error, usage)) {
        std::cerr << "quenta codeplug " << verb << ": " << error << "\n";
        return usage ? 2 : 1;
    }

    int qtArgc = 1;
    char name[] = "quenta";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    QtUpdaterPlatform qt;
    TerminalView::Options options;
    options.comNumber = portArgument.ComNumber();
    options.titledMessages = false;
    TerminalView view(options, std::cout, std::cerr);
    CodeUpdater updater(view, qt.platform, CarriedPackage());
    updater.Initialise();
    if (!updater.OpenSelectedPort(true)) {
        updater.ClosePort();
        return 1;
    }
    const RadioCodeplugResult r = verb == "read" ? ReadRadioCodeplug(updater, view, codeplug)
                                                 : WriteRadioCodeplug(updater, view, codeplug);
    updater.ClosePort();
    if (!r.ok) {
        std::cerr << "quenta codeplug " << verb << ": " << r.error << "\n";
        return 1;
    }
    if (verb == "read") {
        if (!writeFileAtomically(file, codeplug.data(), codeplug.size(), error)) {
            std::cerr << "quenta codeplug read: " << error << "\n";
            return 1;
        }
        std::cout << "Read " << codeplug.size() << " bytes, codeplug format "
                  << versionText(r.codeplugIndex) << " (the radio expects " << int{r.radioFormat[0]}
                  << "." << int{r.radioFormat[1]} << "), into " << file << "\n";
    } else {
        std::cout << "Wrote " << codeplug.size() << " bytes, codeplug format "
                  << versionText(r.codeplugIndex) << ", from " << file << "\n";
    }
    return 0;
}
