#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Loopback.h"
#include "PortFindings.h"

// quenta doctor [--port P] [--port-dir DIR] [--loopback] [--json]: what stands between the PC
// and the radio, each finding with its fix. Exit 0 when nothing blocks an update, 1 when
// something does, 2 for wrong arguments.
int runDoctorCommand(int argc, char** argv);

// The loopback's results as findings: one per rate, and the latency timer seen while open.
std::vector<doctor::Finding> LoopbackFindings(const doctor::LoopbackResult& result,
                                              const doctor::PortFacts& port);

// One port's findings as text lines, and as a JSON object.
std::string FindingsText(const std::string& title, const std::vector<doctor::Finding>& findings);
nlohmann::json FindingsJson(const std::vector<doctor::Finding>& findings);
