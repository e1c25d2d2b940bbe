#pragma once

#include <string>

#include "link/LinkTypes.h"

struct VersionRecord;

// The printed version information, one "Label: value" line per field.
std::string FormatVersionInfo(const VersionRecord& record, TargetKind kind);
