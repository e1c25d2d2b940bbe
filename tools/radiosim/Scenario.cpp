#include "Scenario.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>

using nlohmann::json;

bool ParseCode(const std::string& text, Scenario::Code& code) {
    unsigned g = 0, f = 0;
    char tail = 0;
    if (text.size() != 5 || text[2] != ' ')
        return false;
    if (std::sscanf(text.c_str(), "%2x %2x%c", &g, &f, &tail) != 2)
        return false;
    code = static_cast<int>(g * 256 + f);
    return true;
}

std::string CodeText(Scenario::Code code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X %02X", (code >> 8) & 0xFF, code & 0xFF);
    return buf;
}

namespace {

struct ParseError {
    std::string text;
};

// The JSON library's message without its "[json.exception.parse_error.101] " tag, on one line
// of printable characters (it quotes what it read, which may be any bytes).
std::string LibraryMessage(const json::exception& e) {
    std::string text = e.what();
    if (!text.empty() && text[0] == '[') {
        const std::size_t end = text.find("] ");
        if (end != std::string::npos)
            text.erase(0, end + 2);
    }
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F)
            c = '?';
    }
    return text;
}

Scenario::Bytes BytesOf(const json& j, const char* key, size_t size) {
    if (!j.is_array() || j.size() != size) {
        throw ParseError{std::string(key) + ": expected " + std::to_string(size) + " bytes"};
    }
    Scenario::Bytes out;
    for (const json& b : j) {
        if (!b.is_number_integer() || b.get<int>() < 0 || b.get<int>() > 255) {
            throw ParseError{std::string(key) + ": bytes are integers 0..255"};
        }
        out.push_back(static_cast<std::uint8_t>(b.get<int>()));
    }
    return out;
}

Scenario::Code CodeOf(const json& j, const std::string& where) {
    Scenario::Code c = 0;
    if (!j.is_string() || !ParseCode(j.get<std::string>(), c)) {
        throw ParseError{where + ": expected a command code like \"04 1C\""};
    }
    return c;
}

// Bounds of the numbers that set the line's timing. Beyond them a scenario is a typing
// mistake: a rate of 0 or 1e30 or a delay of centuries would only hang the test that uses it.
constexpr long long kMinBaud = 50;
constexpr long long kMaxBaud = 4000000;
constexpr long long kMaxReplyDelayMs = 60000;
constexpr long long kMaxTurnaroundUs = 10000000;  // as --turnaround-us
constexpr double kMaxFlashWaitMs = 600000.0;

// The whole number at key, or fallback when the key is absent. A fraction, a string or a
// number outside [min, max] is refused with the key and the range: converting 1e30 to an int
// is undefined, so the range is checked on the number as written.
long long IntegerIn(const json& j, const char* key, long long min, long long max,
                    long long fallback, const char* what) {
    if (!j.contains(key))
        return fallback;
    const json& v = j[key];
    const bool whole =
        v.is_number_integer() || (v.is_number_float() && std::isfinite(v.get<double>()) &&
                                  std::floor(v.get<double>()) == v.get<double>());
    const double value = whole ? v.get<double>() : 0.0;
    if (!whole || value < static_cast<double>(min) || value > static_cast<double>(max)) {
        throw ParseError{std::string(key) + ": expected " + what + ", " + std::to_string(min) +
                         " to " + std::to_string(max)};
    }
    return v.is_number_integer() ? v.get<long long>() : static_cast<long long>(value);
}

// A number of milliseconds at key, 0 to max; fallback when absent.
double MillisecondsIn(const json& j, const char* key, double max, double fallback,
                      const std::string& where) {
    if (!j.contains(key))
        return fallback;
    const json& v = j[key];
    if (!v.is_number() || !std::isfinite(v.get<double>()) || v.get<double>() < 0.0 ||
        v.get<double>() > max) {
        throw ParseError{where + key + ": expected a number of milliseconds, 0 to " +
                         std::to_string(static_cast<long long>(max))};
    }
    return v.get<double>();
}

void CheckKeys(const json& j, const std::set<std::string>& allowed, const std::string& where) {
    if (!j.is_object())
        throw ParseError{where + ": expected an object"};
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (!allowed.count(it.key()))
            throw ParseError{where + ": unknown key \"" + it.key() + "\""};
    }
}

Scenario::Fault::Kind FaultKind(const std::string& s) {
    if (s == "silence")
        return Scenario::Fault::Kind::kSilence;
    if (s == "garbled")
        return Scenario::Fault::Kind::kGarbled;
    if (s == "wrongAddress")
        return Scenario::Fault::Kind::kWrongAddress;
    if (s == "badChecksum")
        return Scenario::Fault::Kind::kBadChecksum;
    throw ParseError{"faults: unknown kind \"" + s + "\""};
}

// "flash": {"processor": 4, "eraseMs": 0, "restartMs": 0, "fault": {"image": 1, "busyStart": 0,
// "busyPair": 0, "wrongSumAtPair": -1, "verifyFailAtPair": -1, "verifyFailAddress": "FE040100",
// "silentFromBlock": -1, "hangUp": false}}
void ParseFlash(const json& j, Scenario& s) {
    CheckKeys(j, {"processor", "eraseMs", "restartMs", "fault"}, "flash");
    s.flash.processorByte = static_cast<std::uint8_t>(j.value("processor", 4));
    s.flash.eraseMs = MillisecondsIn(j, "eraseMs", kMaxFlashWaitMs, 0.0, "flash.");
    s.flash.restartMs = MillisecondsIn(j, "restartMs", kMaxFlashWaitMs, 0.0, "flash.");
    if (!j.contains("fault"))
        return;
    const json& f = j["fault"];
    CheckKeys(f,
              {"image", "busyStart", "busyPair", "wrongSumAtPair", "verifyFailAtPair",
               "verifyFailAddress", "silentFromBlock", "hangUp"},
              "flash.fault");
    flashsim::Faults& x = s.flashFaults;
    x.image = f.value("image", x.image);
    x.busyStartReplies = f.value("busyStart", 0);
    x.busyPairReplies = f.value("busyPair", 0);
    x.wrongSumAtPair = f.value("wrongSumAtPair", -1);
    x.verifyFailAtPair = f.value("verifyFailAtPair", -1);
    if (f.contains("verifyFailAddress")) {
        const std::string text = f["verifyFailAddress"].get<std::string>();
        char* end = nullptr;
        const unsigned long v = std::strtoul(text.c_str(), &end, 16);
        if (text.empty() || *end != '\0' || v > 0xFFFFFFFFul)
            throw ParseError{"flash.fault.verifyFailAddress: expected eight hexadecimal digits"};
        x.verifyFailAddress = static_cast<std::uint32_t>(v);
    }
    x.silentFromBlock = f.value("silentFromBlock", -1);
    x.hangUpAtSilence = f.value("hangUp", false);
}

Scenario::LineFault::Kind LineFaultKind(const std::string& s) {
    using Kind = Scenario::LineFault::Kind;
    static const std::pair<const char*, Kind> kNames[] = {{"silence", Kind::kSilence},
                                                          {"garbled", Kind::kGarbled},
                                                          {"badChecksum", Kind::kBadChecksum},
                                                          {"hangUp", Kind::kHangUp},
                                                          {"wrongRate", Kind::kWrongRate},
                                                          {"otherGroup", Kind::kOtherGroup},
                                                          {"busy", Kind::kBusy}};
    for (const auto& [name, kind] : kNames) {
        if (s == name)
            return kind;
    }
    throw ParseError{"lineFault: unknown kind \"" + s + "\""};
}

void Parse(const json& j, Scenario& s) {
    CheckKeys(j, {"fileFormat", "dsp",          "controller",   "hardware",       "serial",
                  "boot",       "sem",          "interfaceBox", "baud",           "replyDelayMs",
                  "lineRate",   "turnaroundUs", "busy",         "unprompted0725", "faults",
                  "silentFrom", "codeplug",     "flash",        "lineFault",      "comment"},
              "scenario");
    if (j.contains("fileFormat"))
        s.fileFormat = BytesOf(j["fileFormat"], "fileFormat", 2);
    if (j.contains("dsp"))
        s.dsp = BytesOf(j["dsp"], "dsp", 3);
    if (j.contains("controller"))
        s.controller = BytesOf(j["controller"], "controller", 3);
    if (j.contains("hardware"))
        s.hardware = BytesOf(j["hardware"], "hardware", 3);
    if (j.contains("serial"))
        s.serial = BytesOf(j["serial"], "serial", 8);
    if (j.contains("boot")) {
        const json& b = j["boot"];
        CheckKeys(b, {"present", "version", "busy"}, "boot");
        s.bootPresent = b.value("present", true);
        if (b.contains("version"))
            s.boot = BytesOf(b["version"], "boot.version", 2);
        s.bootBusy = b.value("busy", 0);
    }
    if (j.contains("sem")) {
        const json& b = j["sem"];
        CheckKeys(b, {"present", "version"}, "sem");
        s.semPresent = b.value("present", true);
        if (b.contains("version"))
            s.sem = BytesOf(b["version"], "sem.version", 2);
    }
    if (j.contains("interfaceBox")) {
        const json& b = j["interfaceBox"];
        if (b.is_boolean()) {
            s.interfaceBox = b.get<bool>();
        } else {
            CheckKeys(b, {"present", "data"}, "interfaceBox");
            s.interfaceBox = b.value("present", true);
            if (b.contains("data"))
                s.boxData = BytesOf(b["data"], "interfaceBox.data", 4);
        }
    }
    s.baud =
        static_cast<int>(IntegerIn(j, "baud", kMinBaud, kMaxBaud, s.baud, "a line speed in bit/s"));
    s.replyDelayMs = static_cast<int>(IntegerIn(j, "replyDelayMs", 0, kMaxReplyDelayMs,
                                                s.replyDelayMs, "a number of milliseconds"));
    s.lineRate = j.value("lineRate", s.lineRate);
    s.turnaroundUs = static_cast<int>(IntegerIn(j, "turnaroundUs", 0, kMaxTurnaroundUs,
                                                s.turnaroundUs, "a number of microseconds"));
    if (j.contains("unprompted0725")) {
        for (const json& c : j["unprompted0725"])
            s.unprompted0725.push_back(CodeOf(c, "unprompted0725"));
    }
    if (j.contains("faults")) {
        for (const json& f : j["faults"]) {
            CheckKeys(f, {"command", "kind", "times", "thenReply"}, "faults");
            Scenario::Fault fault;
            fault.command = CodeOf(f.at("command"), "faults.command");
            fault.kind = FaultKind(f.at("kind").get<std::string>());
            fault.times = f.value("times", 1);
            fault.thenReply = f.value("thenReply", fault.kind != Scenario::Fault::Kind::kSilence);
            s.faults.push_back(fault);
        }
    }
    if (j.contains("codeplug")) {
        std::string error;
        if (!ParseCodeplugScenario(j["codeplug"], s.codeplug, error))
            throw ParseError{error};
    }
    if (j.contains("flash"))
        ParseFlash(j["flash"], s);
    if (j.contains("lineFault")) {
        const json& f = j["lineFault"];
        CheckKeys(f, {"kind", "atFrame"}, "lineFault");
        s.lineFault.kind = LineFaultKind(f.at("kind").get<std::string>());
        s.lineFault.atFrame = f.value("atFrame", -1);
    }
    if (j.contains("silentFrom") && !j["silentFrom"].is_null()) {
        s.silentFrom = CodeOf(j["silentFrom"], "silentFrom");
    }
}

}  // namespace

bool Scenario::FromJson(const std::string& text, Scenario& out, std::string& error) {
    Scenario s;
    try {
        json j = json::parse(text);
        // "busy" is a map from codes to counts; checked separately as its keys are codes.
        if (j.contains("busy")) {
            json busy = j["busy"];
            if (!busy.is_object())
                throw ParseError{"busy: expected an object"};
            for (auto it = busy.begin(); it != busy.end(); ++it) {
                s.busy[CodeOf(json(it.key()), "busy")] = it.value().get<int>();
            }
            j.erase("busy");
        }
        Parse(j, s);
    } catch (const ParseError& e) {
        error = e.text;
        return false;
    } catch (const json::parse_error& e) {
        error = "not a JSON scenario: " + LibraryMessage(e);
        return false;
    } catch (const json::exception& e) {
        error = LibraryMessage(e);
        return false;
    }
    out = s;
    return true;
}

bool Scenario::FromFile(const std::string& path, Scenario& out, std::string& error) {
    std::string text;
    if (!ReadSmallFile(path, kMaxScenarioBytes, text, error))
        return false;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        error = path + " is empty";
        return false;
    }
    if (!FromJson(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
