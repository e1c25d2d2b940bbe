#pragma once

#include <ostream>
#include <string>

#include "link/LinkTypes.h"

class RadioLink;

// quenta retrieve --port COMn|DEVICE [--kind K]
//
// Reads the radio's version record over the direct serial device at 19200 baud and prints it.
// It never changes the radio.
int runRetrieveCommand(int argc, char** argv);

// Target kind used while the program carries no firmware package to take it from.
constexpr TargetKind kDefaultRetrieveKind = 6;

// The retrieve itself on a link whose device the caller chose: opens COM portNumber, reads
// the version record with the SEM version and prints the labelled fields to out, or the
// failure to err. Returns the exit status (0 done, 1 failure).
int RetrieveVersionInfo(RadioLink& link, int portNumber, TargetKind kind, std::ostream& out,
                        std::ostream& err);

// The printed version information, one "Label: value" line per field.
struct VersionRecord;
std::string FormatVersionInfo(const VersionRecord& record, TargetKind kind);
