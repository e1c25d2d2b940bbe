#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "link/LinkTypes.h"

class PackageResources;
class RadioSession;

struct RetrieveOptions {
    int comNumber = 1;
    std::optional<TargetKind> kind;             // overrides the package's kind
    std::string traceFile;                      // every frame into this file, when not empty
    const PackageResources* package = nullptr;  // nullptr: DefaultRetrievePackage()
    bool json = false;  // JSON lines on the session's output instead of text
};

// Reads the radio's version record as the window's Retrieve does (the port opened for
// identification only, at 19200 baud) on COM comNumber: prints the labelled fields to out, or
// the failure (and why the port could not be opened) to err. Returns the exit status (0 done,
// 1 failure, 2 a trace file that cannot be written).
int RetrieveVersionInfo(const RetrieveOptions& options, std::ostream& out, std::ostream& err);
// The same in a session whose port is already resolved (options.comNumber is not used).
int RetrieveVersionInfo(RadioSession& session, const RetrieveOptions& options);
