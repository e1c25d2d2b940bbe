#include "UpdaterTestSupport.h"

#include <algorithm>

#include "ExamplePackage.h"

namespace updatertest {

namespace {

constexpr double kReplyDelayMs = 2;
constexpr std::uint8_t kIdentifyGroup = 0x04;
constexpr std::uint8_t kRateGroup = 0x09;
constexpr std::uint8_t kFlashGroup = 0x02;
constexpr std::uint8_t kCodeplugGroup = 0x03;

}  // namespace

bool RecordingView::HasStatus(const std::string& text) const {
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
}

std::vector<Message> RecordingView::Titled(const std::string& title) const {
    std::vector<Message> out;
    for (const Message& m : messages)
        if (m.title == title)
            out.push_back(m);
    return out;
}

VirtualRadio::VirtualRadio(linktest::VirtualPump& pump, linktest::FakeLine& line,
                           const CodeplugScenario& scenario, flashsim::Settings settings,
                           flashsim::Faults faults)
    : flash(settings, faults), codeplug(scenario, kSerialNumber), radio_(pump, line) {
    radio_.Receiver().Accept(frame::kAddrToTool, false);
    radio_.Receiver().Accept(frame::kAddrBox);
    radio_.onRequest = [this](const Bytes& payload, std::uint8_t destination) {
        requests.push_back(payload);
        if (onRequest)
            onRequest(payload);
        Answer(payload, destination);
    };
}

int VirtualRadio::Count(std::uint8_t group, std::uint8_t code) const {
    return static_cast<int>(std::count_if(requests.begin(), requests.end(), [&](const Bytes& r) {
        return r.size() >= 2 && r[0] == group && r[1] == code;
    }));
}

void VirtualRadio::Answer(const Bytes& payload, std::uint8_t source) {
    if (payload.size() < 2 || radio_.NowMs() < flash.SilentUntilMs())
        return;
    const std::uint8_t group = payload[0];
    const std::uint8_t code = payload[1];
    if (group == kFlashGroup || (group == kRateGroup && code == 0x00)) {
        for (const flashsim::Reply& r : flash.OnRequest(payload, radio_.NowMs()))
            Send(r.payload, source, r.delayMs);
        return;
    }
    if (group == kRateGroup && code == 0x01) {
        if (box)
            Send({0x09, 0x02, 0, 0, 0, 0}, source, kReplyDelayMs);
        return;
    }
    if (group == kCodeplugGroup) {
        for (const Bytes& r : codeplug.Handle(payload.data(), static_cast<int>(payload.size())))
            Send(r, source, kReplyDelayMs);
        return;
    }
    if (group != kIdentifyGroup)
        return;
    auto reply = [&](std::uint8_t replyCode, const Bytes& data) {
        Bytes out = {kIdentifyGroup, replyCode};
        out.insert(out.end(), data.begin(), data.end());
        Send(out, source, kReplyDelayMs);
    };
    switch (code) {
        case 0x1C:
            reply(0x1D, flash.CodeFlashed() ? formatAfterUpdate : format);
            break;
        case 0x04:
            if (unansweredSerialReads > 0)
                --unansweredSerialReads;
            else
                reply(0x05, serial);
            break;
        case 0x2D:
            if (bootPresent)
                reply(0x2E, boot);
            break;
        case 0x0B:
        case 0x09:
        case 0x07:
            reply(static_cast<std::uint8_t>(code + 1), versionBytes);
            break;
        case 0x3E:
            reply(0x3F, {2, 3});
            break;
        default:
            break;
    }
}

std::string LoaderImage(std::size_t bytes, std::uint32_t seed) {
    return dltest::Image(dltest::Pattern(bytes, seed), '2', 0x010100);
}

std::string CodeImage(std::size_t bytes, std::uint32_t seed) {
    return dltest::Image(dltest::Pattern(bytes, seed), '3', 0xFE040100);
}

UpdaterBench::UpdaterBench()
    : platform{
          pump,
          commTimer,
          progressTimer,
          component,
          clock,
          [this] { return processors; },
          work.Path(),
          BackupDirectory(),
          [this] { return std::make_unique<linktest::FakeDeviceFactory>(line); },
          [this](int n) { return absentPorts.count(n) ? std::string("absent") : std::string(); }} {
    UsePackage(kUpgradeApplication);
}

UpdaterBench::~UpdaterBench() {
    updater.reset();
}

std::filesystem::path UpdaterBench::BackupDirectory() const {
    return std::filesystem::path(backupRoot.Path()) / "quenta" / "backups";
}

void UpdaterBench::UsePackage(std::uint8_t upgradeType, std::uint8_t family, std::int8_t series,
                              std::uint8_t kindBySeries) {
    attributes = testsupport::ExampleAttributes(upgradeType, family);
    attributes.Series = series;
    attributes.KindBySeries = kindBySeries;
    package = MemoryPackage();
    constexpr std::size_t kChunk = 1000;  // several chunks per code image
    package.PutImage(attributes, ImageSet::kApplication, ImageRole::kLoader, LoaderImage(), kChunk);
    package.PutImage(attributes, ImageSet::kApplication, ImageRole::kCode, CodeImage(), kChunk);
    std::uint32_t seed = 3;
    for (ImageSet set : {ImageSet::kBoot, ImageSet::kBootTwo}) {
        package.PutImage(attributes, set, ImageRole::kLoader, LoaderImage(256, seed++), kChunk);
        package.PutImage(attributes, set, ImageRole::kCode, CodeImage(1024, seed++), kChunk);
    }
}

void UpdaterBench::Start(const CodeplugScenario& codeplug, flashsim::Settings flash,
                         flashsim::Faults faults) {
    package.PutAttributes(attributes);
    radio = std::make_unique<VirtualRadio>(pump, line, codeplug, flash, faults);
    updater = std::make_unique<CodeUpdater>(view, platform, package);
    updater->Initialise();
}

void UpdaterBench::PressStart(std::optional<std::string> password) {
    if (password)
        view.passwords.push_back(password);
    updater->m_StartButtonClick();
}

std::vector<std::filesystem::path> UpdaterBench::Backups() const {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(BackupDirectory(), ec))
        out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> UpdaterBench::WorkFiles() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(work.Path()))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace updatertest
