#pragma once

// The port check's verdicts: each fact about the user, the device and the machine becomes a
// finding with what it means and, when something is wrong, the command that fixes it. Pure
// functions of the facts, so every verdict can be tested with made-up facts.

#include <string>
#include <vector>

#include "PortFacts.h"

namespace doctor {

enum class Severity {
    kOk,       // nothing to do
    kNote,     // worth knowing; nothing to do unless an update fails
    kWarning,  // may disturb an update; fixing it is advised
    kBlocker,  // an update cannot run until it is fixed
};

struct Finding {
    std::string topic;  // "group", "permissions", "modemmanager", "brltty", "adapter",
                        // "latency", "holder", "com", "device", "loopback"
    Severity severity = Severity::kOk;
    std::string text;
    std::string fix;  // a command or step, empty when nothing needs doing
};

// "ok", "note", "warning", "blocks".
const char* SeverityName(Severity severity);

// Every finding about one port.
std::vector<Finding> ExaminePort(const SystemFacts& system, const PortFacts& port);

// The findings when no port reaches a device: what may have taken the adapter away.
std::vector<Finding> ExamineNoDevice(const SystemFacts& system);

bool Blocks(const std::vector<Finding>& findings);

// Whether brltty's rules text names USB adapters with these ids (four hex digits each).
bool RulesClaim(const std::string& rules, const std::string& vendorId,
                const std::string& productId);

}  // namespace doctor
