#include "app/core/CodeplugRestore.h"

#include <algorithm>
#include <tuple>

#include "app/core/CodeUpdater.h"
#include "app/core/CodeplugBackup.h"
#include "app/journal/Journal.h"
#include "app/journal/Sha256.h"
#include "convert/RadioCodeplugConversion.h"
#include "serial/PosixSerialOs.h"

namespace {

constexpr int kAccessCodeAttempts = 3;
constexpr const char kExtension[] = ".codeplug";

// SERIAL_YYYYMMDDTHHMMSSZ_FORMAT[-N].codeplug, as SaveCodeplugBackup names its files.
struct BackupName {
    std::string serial;
    std::string stamp;  // YYYYMMDDTHHMMSSZ
    std::string format;
    int copy = 1;
};

bool ParseBackupName(const std::string& name, BackupName& out) {
    const std::size_t extension = name.size() - (sizeof kExtension - 1);
    if (name.size() <= sizeof kExtension - 1 ||
        name.compare(extension, std::string::npos, kExtension) != 0)
        return false;
    const std::string stem = name.substr(0, extension);
    const std::size_t last = stem.rfind('_');
    if (last == std::string::npos || last == 0)
        return false;
    const std::size_t middle = stem.rfind('_', last - 1);
    if (middle == std::string::npos || last - middle - 1 != 16)
        return false;
    out.serial = stem.substr(0, middle);
    out.stamp = stem.substr(middle + 1, last - middle - 1);
    out.format = stem.substr(last + 1);
    const std::size_t dash = out.format.find('-');
    if (dash != std::string::npos) {
        out.copy = std::atoi(out.format.c_str() + dash + 1);
        out.format.erase(dash);
    }
    return !out.serial.empty() && !out.format.empty();
}

// 20261208T081500Z as 2026-12-08T08:15:00Z.
std::string JournalTime(const std::string& stamp) {
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + "T" +
           stamp.substr(9, 2) + ":" + stamp.substr(11, 2) + ":" + stamp.substr(13, 2) + "Z";
}

bool SavesBackups(const JournalRow& row) {
    return row.kind == "update" || row.kind == "upgrade";
}

bool Names(const std::string& recorded, const std::filesystem::path& file) {
    return !recorded.empty() && std::filesystem::path(recorded).filename() == file.filename();
}

}  // namespace

std::string RadioIdentity::FormatText() const {
    return std::to_string(format[0]) + "." + std::to_string(format[1]);
}

RadioIdentity ReadRadioIdentity(CodeUpdater& updater) {
    RadioIdentity id;
    RadioLink& link = updater.Link();
    if (!link.PrepareTimeout(kReplyTimeoutMs)) {
        id.error = "no reply timeout could be set up on the port";
        return id;
    }
    bool codeRead = false;
    for (int attempt = 0; attempt < kAccessCodeAttempts && !codeRead; ++attempt)
        codeRead = updater.ReadRadioAccessCode(id.serial);
    if (!codeRead)
        id.error = "the radio did not give its serial number";
    else if (!QueryRadioCodeplugFormat(link, id.format))
        id.error = "the radio does not answer the codeplug format query";
    else
        id.ok = true;
    link.ReleaseTimeout();
    return id;
}

std::string CodeplugBackupEntry::Describe() const {
    std::string text = saved + ", format " + format;
    if (run.id == 0)
        return text;
    text += std::string(converted ? ", converted by " : ", as read by ") + run.kind + " " +
            std::to_string(run.id) + " (" + run.state;
    return text + (unfinished ? ", unfinished)" : ")");
}

std::vector<CodeplugBackupEntry> ListCodeplugBackups(const std::filesystem::path& folder,
                                                     const std::string& serial,
                                                     const std::vector<JournalRow>& rows) {
    struct Found {
        CodeplugBackupEntry entry;
        BackupName name;
    };
    NarrowBackupFolder(folder);
    std::vector<Found> found;
    std::error_code ec;
    for (const auto& file : std::filesystem::directory_iterator(folder, ec)) {
        BackupName name;
        if (!ParseBackupName(file.path().filename().string(), name) || name.serial != serial ||
            !file.is_regular_file(ec))
            continue;
        Found f{{}, name};
        f.entry.path = file.path();
        f.entry.saved = JournalTime(name.stamp);
        f.entry.format = name.format;
        for (const JournalRow& row : rows) {
            if (!SavesBackups(row))
                continue;
            const bool converted = Names(row.backupConverted, file.path());
            if (converted || Names(row.backupRead, file.path())) {
                f.entry.run = row;
                f.entry.converted = converted;
                break;
            }
        }
        if (f.entry.run.id != 0 && f.entry.run.state != "done") {
            // A later run that put a verified codeplug into this radio finished the job.
            f.entry.unfinished = std::none_of(rows.begin(), rows.end(), [&](const JournalRow& r) {
                return r.id > f.entry.run.id && r.serial == serial && r.state == "done" &&
                       r.codeplugVerified;
            });
        }
        found.push_back(std::move(f));
    }
    // Newest first; of one run, the converted codeplug (saved after the one as read) first.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::make_tuple(a.name.stamp, a.name.copy, a.entry.converted) >
               std::make_tuple(b.name.stamp, b.name.copy, b.entry.converted);
    });
    std::vector<CodeplugBackupEntry> entries;
    for (Found& f : found)
        entries.push_back(std::move(f.entry));
    return entries;
}

std::vector<CodeplugBackupEntry> ListCodeplugBackups(const std::filesystem::path& folder,
                                                     const std::string& serial,
                                                     const std::filesystem::path& journal) {
    std::vector<JournalRow> rows;
    Journal j;
    std::string error;
    // Without the journal the files still list, only without the runs they came from.
    if (journal.empty() || j.OpenExisting(journal, error) != JournalOpen::kOpen ||
        !j.Rows(serial, rows, error))
        rows.clear();
    return ListCodeplugBackups(folder, serial, rows);
}

const CodeplugBackupEntry* NewestBackupInFormat(const std::vector<CodeplugBackupEntry>& entries,
                                                const std::string& format) {
    for (const CodeplugBackupEntry& e : entries) {
        if (e.format == format)
            return &e;
    }
    return nullptr;
}

RadioCodeplugResult JournalledCodeplugWrite(CodeUpdater& updater, UpdaterView& view,
                                            UpdateRecorder* recorder, const char* kind,
                                            const std::filesystem::path& file,
                                            const std::vector<std::uint8_t>& codeplug,
                                            bool showProgress, const std::string& expectedSerial) {
    const int comNumber = view.SelectedPortIndex() + 1;
    JournalRow row;
    row.kind = kind;
    row.started = JournalTimeNow();
    row.phase = "codeplug-write";
    row.port = "COM" + std::to_string(comNumber);
    const serial::Resolution device = serial::SystemSerialOs().Resolver().ResolveCom(comNumber);
    row.device = device.linkTarget.empty() ? device.path : device.linkTarget;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    row.backupConverted = (ec ? file : absolute).string();
    row.backupConvertedSha256 = Sha256Hex(codeplug.data(), codeplug.size());
    row.serial = expectedSerial;
    row.images = "[]";
    if (recorder != nullptr)
        recorder->Record(row);

    RadioCodeplugResult r;
    if (updater.OpenSelectedPort(true)) {
        r = WriteRadioCodeplug(updater, view, codeplug, showProgress, expectedSerial);
    } else {
        r.portNotOpened = true;
        r.error = "the port could not be opened";
    }
    updater.ClosePort();
    row.ended = JournalTimeNow();
    row.state = r.ok ? "done" : "failed";
    if (!r.serial.empty())
        row.serial = r.serial;
    row.formatAfter = std::to_string(r.radioFormat[0]) + "." + std::to_string(r.radioFormat[1]);
    row.formatBefore = r.codeplugIndex == 255 ? std::string() : versionText(r.codeplugIndex);
    row.codeplugVerified = r.verified;
    row.status = r.ok ? "Written and verified." : r.error;
    if (recorder != nullptr)
        recorder->Record(row);
    return r;
}
