#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "link/LinkTypes.h"

class PackageResources;
struct VersionRecord;

// quenta retrieve --port COMn|DEVICE [--kind K] [--port-dir DIR] [--trace]
//
// Reads the radio's version record as the window's Retrieve does (the port opened for
// identification only, at 19200 baud) and prints it. It never changes the radio.
int runRetrieveCommand(int argc, char** argv);

// Target kind of the package used while the program carries none.
constexpr TargetKind kDefaultRetrieveKind = 6;

// The package whose family and kind Retrieve follows when the program carries none: a
// family-0 series-4 radio (kind 6).
const PackageResources& DefaultRetrievePackage();
// The package the program carries, or DefaultRetrievePackage() when it carries none.
const PackageResources& CarriedPackage();

struct RetrieveOptions {
    int comNumber = 1;
    std::optional<TargetKind> kind;             // overrides the package's kind
    bool trace = false;                         // every frame on stderr
    const PackageResources* package = nullptr;  // nullptr: DefaultRetrievePackage()
};

// Retrieve on COM comNumber (a QCoreApplication must exist): prints the labelled fields to
// out, or the failure (and why the port could not be opened) to err. Returns the exit status
// (0 done, 1 failure).
int RetrieveVersionInfo(const RetrieveOptions& options, std::ostream& out, std::ostream& err);

// The printed version information, one "Label: value" line per field.
std::string FormatVersionInfo(const VersionRecord& record, TargetKind kind);
