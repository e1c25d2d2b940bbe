#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "serial/ComPortListing.h"

// quenta ports [--json] [--port-dir DIR]: the COM entries that reach a device, with the
// device's stable name and, for a USB adapter, who made it and which driver runs it.
int runPortsCommand(int argc, char** argv);

// One entry as the lines of the plain listing, and as the object of a --json line.
std::string PortText(const serial::ComPortEntry& entry);
nlohmann::json PortJson(const serial::ComPortEntry& entry);
