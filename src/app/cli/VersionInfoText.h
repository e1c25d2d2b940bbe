#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "link/LinkTypes.h"

struct VersionRecord;

// The printed version information, one "Label: value" line per field.
std::string FormatVersionInfo(const VersionRecord& record, TargetKind kind);
// The same fields as one JSON object (fileFormat, dsp, controller, hardware, serial, boot, sem),
// each value as printed.
nlohmann::json VersionInfoJson(const VersionRecord& record, TargetKind kind);
