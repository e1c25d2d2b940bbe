#include "app/core/UnfinishedUpdate.h"

#include "app/journal/JournalRow.h"
#include "app/journal/Sha256.h"
#include "common/FileBytes.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

namespace {

bool Unfinished(const JournalRow& row) {
    return row.state == "pending" || row.state == "failed" || row.state == "stopped";
}

// The file's bytes when it is still the codeplug the row saved and the radio reads it as is.
bool Usable(const JournalRow& row, const std::uint8_t radioFormat[2], UnfinishedBackup& out) {
    std::string bytes;
    int error = 0;
    if (ReadRegularFile(row.backupConverted, kTransferImageBytes, bytes, error) !=
            ReadFileResult::kOk ||
        bytes.empty() || bytes.size() % 2 != 0)
        return false;
    const std::vector<std::uint8_t> codeplug(bytes.begin(), bytes.end());
    const std::string sha = Sha256Hex(codeplug.data(), codeplug.size());
    if (!row.backupConvertedSha256.empty() && sha != row.backupConvertedSha256)
        return false;
    std::vector<std::uint8_t> check(kTransferImageBytes, 0);
    std::copy(codeplug.begin(), codeplug.end(), check.begin());
    if (convertRadioCodeplug(check.data(), codeplug.size(), radioFormat[0], radioFormat[1])
            .result != CodeplugConversionResult::SameFormat)
        return false;
    out.path = row.backupConverted;
    out.codeplug = codeplug;
    out.started = row.started;
    out.sha256 = sha;
    return true;
}

}  // namespace

bool FindUnfinishedBackup(UpdateRecorder& recorder, const std::string& serial, std::int64_t thisRun,
                          const std::uint8_t radioFormat[2], UnfinishedBackup& out) {
    std::vector<JournalRow> rows;
    if (serial.empty() || !recorder.RowsOf(serial, rows))
        return false;
    for (const JournalRow& row : rows) {
        if ((thisRun != 0 && row.id == thisRun) || row.serial != serial)
            continue;
        // A later run of any kind that left a verified codeplug in the radio finished the job
        // (the restore list marks unfinished runs the same way).
        if (row.state == "done" && row.codeplugVerified)
            return false;
        if ((row.kind == "update" || row.kind == "upgrade") && !row.backupConverted.empty())
            return Unfinished(row) && Usable(row, radioFormat, out);
    }
    return false;
}
