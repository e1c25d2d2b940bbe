// The update's row in the journal: what the run did, kept as it goes so that a run cut off at
// any moment leaves a row that says how far it got. The view is shown the same row each time
// it is recorded.
#include <nlohmann/json.hpp>

#include "app/core/CodeUpdater.h"
#include "serial/PosixSerialOs.h"

namespace {

double SecondsBetween(std::int64_t fromMs, std::int64_t toMs) {
    return static_cast<double>(toMs - fromMs) / 1000;
}

// Image names by the phase they cross in: the loader goes first, the code after it.
const char* ImageName(const std::string& phase, int index) {
    if (phase == "dsp-download")
        return index == 0 ? "DSP loader" : "DSP";
    if (index == 0)
        return "loader";
    return phase == "boot-download" ? "boot" : "application";
}

}  // namespace

void CodeUpdater::JournalBegin(const char* kind) {
    record_ = JournalRow{};
    record_.kind = kind;
    record_.started = JournalTimeNow();
    record_.port = PortName();
    const serial::Resolution device =
        serial::SystemSerialOs().Resolver().ResolveCom(view_.SelectedPortIndex() + 1);
    record_.device = device.linkTarget.empty() ? device.path : device.linkTarget;
    record_.images = "[]";
    phaseStarts_.clear();
    runEndMs_ = -1;
    journalling_ = true;
    record_.phase = "start";
    phaseStarts_.push_back({record_.phase, platform_.pump.NowMilliseconds()});
    imagesInPhase_ = 0;
    JournalPublish();
}

void CodeUpdater::JournalPhase(const char* phase) {
    if (journalling_ && (phaseStarts_.empty() || phaseStarts_.back().phase != phase)) {
        phaseStarts_.push_back({phase, platform_.pump.NowMilliseconds()});
        imagesInPhase_ = 0;
    }
    record_.phase = phase;
    record_.status = lastStatus_;
    JournalPublish();
}

void CodeUpdater::JournalPublish() {
    if (!journalling_)
        return;
    const std::int64_t now = runEndMs_ >= 0 ? runEndMs_ : platform_.pump.NowMilliseconds();
    nlohmann::json phases = nlohmann::json::array();
    for (std::size_t i = 0; i < phaseStarts_.size(); ++i) {
        const std::int64_t end = i + 1 < phaseStarts_.size() ? phaseStarts_[i + 1].ms : now;
        phases.push_back({{"phase", phaseStarts_[i].phase},
                          {"seconds", SecondsBetween(phaseStarts_[i].ms, end)}});
    }
    record_.phases = phases.dump();
    if (platform_.recorder != nullptr)
        platform_.recorder->Record(record_);
    view_.ShowRun(record_);
}

void CodeUpdater::JournalImageCrossed(const ImageCrossing& crossing) {
    if (!journalling_ || runEndMs_ >= 0)
        return;
    nlohmann::json images = nlohmann::json::parse(record_.images, nullptr, false);
    if (!images.is_array())
        images = nlohmann::json::array();
    images.push_back({{"image", ImageName(record_.phase, imagesInPhase_++)},
                      {"bytes", crossing.bytes},
                      {"seconds", crossing.seconds},
                      {"baud", crossing.baud}});
    record_.images = images.dump();
    JournalPublish();
}

void CodeUpdater::JournalEnd() {
    record_.ended = JournalTimeNow();
    runEndMs_ = platform_.pump.NowMilliseconds();
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
    journalling_ = false;
}
