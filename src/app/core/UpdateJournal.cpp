// The update's row in the journal: what the run did, kept as it goes so that a run cut off at
// any moment leaves a row that says how far it got.
#include <fstream>
#include <system_error>

#include "app/core/CodeUpdater.h"
#include "serial/PosixSerialOs.h"

namespace {

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            continue;
        out += c;
    }
    return out + "\"";
}

}  // namespace

void CodeUpdater::JournalBegin(const char* kind) {
    record_ = JournalRow{};
    record_.kind = kind;
    record_.started = JournalTimeNow();
    record_.phase = "start";
    record_.port = PortName();
    const serial::Resolution device =
        serial::SystemSerialOs().Resolver().ResolveCom(view_.SelectedPortIndex() + 1);
    record_.device = device.linkTarget.empty() ? device.path : device.linkTarget;
    record_.images = "[]";
    if (platform_.recorder != nullptr)
        platform_.recorder->Record(record_);
}

void CodeUpdater::JournalPhase(const char* phase) {
    record_.phase = phase;
    record_.status = lastStatus_;
    if (platform_.recorder != nullptr)
        platform_.recorder->Record(record_);
}

void CodeUpdater::JournalImage(const char* image, double seconds) {
    std::uintmax_t bytes = 0;
    std::error_code ec;
    for (const std::string* name : {&m_LoaderFileName, &m_CodeFileName}) {
        const std::uintmax_t size =
            name->empty() ? 0 : std::filesystem::file_size(platform_.workingDirectory / *name, ec);
        if (!ec)
            bytes += size;
    }
    if (record_.images.size() >= 2)
        record_.images.pop_back();
    if (record_.images.size() > 1)
        record_.images += ",";
    record_.images += "{\"image\":" + JsonText(image) + ",\"bytes\":" + std::to_string(bytes) +
                      ",\"seconds\":" + std::to_string(seconds) + "}]";
}

void CodeUpdater::JournalEnd() {
    record_.ended = JournalTimeNow();
    switch (outcome_) {
        case UpdateOutcome::kSucceeded:
            record_.state = "done";
            break;
        case UpdateOutcome::kStopped:
            record_.state = "stopped";
            break;
        default:
            record_.state = "failed";
            break;
    }
    JournalPhase(record_.phase.c_str());
}
