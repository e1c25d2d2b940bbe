// The codeplug stage after an application download: wait for the restart, ask the radio for
// the format its new firmware expects, read the codeplug, convert it, save it, write it back.
#include <algorithm>
#include <chrono>
#include <vector>

#include "app/core/CodeUpdater.h"
#include "app/core/CodeplugBackup.h"
#include "app/core/CodeplugPace.h"
#include "app/core/CodeplugVerify.h"
#include "app/core/RadioCodeplug.h"
#include "app/core/ShellQuote.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/Sha256.h"
#include "convert/CodeplugText.h"
#include "convert/RadioCodeplugConversion.h"
#include "link/CommandTable.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

namespace {

// The radio restarts in 360 ticks of the port component (about 19.8 s). The wait is taken in
// slices so that Stop ends it within a second.
constexpr int kRestartTicks = 360;
constexpr int kRestartSliceTicks = 18;
constexpr int kRestartProgressMs = 200;

constexpr std::uint8_t kUnpromptedGroup = 0x07;
constexpr std::uint8_t kUnpromptedCode = 0x25;
constexpr int kSerialBytes = 8;

bool Begins(const MessageRecord& reply, std::int32_t id) {
    MessageRecord code;
    MakeCommand(code, id);
    return reply.length >= 2 && reply.buffer[0] == code.buffer[0] &&
           reply.buffer[1] == code.buffer[1];
}

}  // namespace

bool CodeUpdater::RestartWait(const char* status) {
    StartProgressTimer(kRestartProgressMs);
    SetStatus(status);
    for (int waited = 0; waited < kRestartTicks && !Stopped(); waited += kRestartSliceTicks)
        platform_.clock.DelayTicks(std::min(kRestartSliceTicks, kRestartTicks - waited));
    StopProgressTimer();
    return !Stopped();
}

bool CodeUpdater::ReadRadioAccessCode(std::string& code) {
    MessageRecord request;
    MakeCommand(request, kCmdReadSerialNumber);
    m_Link.SetEnabled(true);
    m_Link.Send(request);
    MessageRecord reply;
    bool received = m_Link.Receive(reply);
    if (received && reply.length >= 2 && reply.buffer[0] == kUnpromptedGroup &&
        reply.buffer[1] == kUnpromptedCode) {
        received = m_Link.Receive(reply);
    }
    if (!received || !Begins(reply, kCmdSerialNumber) || reply.length < 2 + kSerialBytes)
        return false;
    code = bytesToText(reply.buffer + 2, kSerialBytes);
    return true;
}

CodeplugResult CodeUpdater::TransferCodeplug() {
    lastBackup_.clear();
    lastConverted_.clear();
    JournalPhase("restart-wait");
    if (!RestartWait(updater_text::kResetting))
        return CodeplugResult::kCancelled;
    return CodeplugStageOnRadio();
}

CodeplugResult CodeUpdater::CodeplugStageOnRadio() {
    if (!m_Link.PrepareTimeout(kReplyTimeoutMs))
        return CodeplugResult::kNoAnswer;

    std::string code;
    bool codeRead = false;
    for (int attempt = 0; attempt < kAccessCodeAttempts && !codeRead && !Stopped(); ++attempt)
        codeRead = ReadRadioAccessCode(code);
    if (!codeRead)
        code.clear();
    record_.serial = code;

    CodeplugResult result = CodeplugResult::kCancelled;
    if (!Stopped()) {
        std::uint8_t format[2] = {0, 0};
        const bool answered = QueryRadioCodeplugFormat(m_Link, format);
        if (Stopped())
            result = CodeplugResult::kCancelled;
        else if (!answered)
            result = CodeplugResult::kNoAnswer;
        else
            result = TransferAfterFormat(code, codeRead, format);
    }
    m_Link.ReleaseTimeout();
    return result;
}

CodeplugResult CodeUpdater::TransferAfterFormat(const std::string& accessCode, bool accessCodeRead,
                                                const std::uint8_t radioFormat[2]) {
    std::vector<std::uint8_t> buffer(kTransferImageBytes, 0);
    CodeplugPasswords passwords(view_);
    ZKWTransferParms transfer;
    transfer.SetImage(buffer.data(), 0);
    transfer.SetAccessCode(accessCode);
    transfer.SetLink(&m_Link);
    transfer.passChecker.askPassword = passwords.Prompt();

    record_.formatAfter = std::to_string(radioFormat[0]) + "." + std::to_string(radioFormat[1]);
    JournalPhase("codeplug-read");
    progress_.Measure(true);
    StartProgressTimer(kUploadProgressMs);
    SetStatus(updater_text::kUploading);
    const int uploaded = transfer.Upload();
    StopProgressTimer();
    progress_.Measure(false);
    if (Stopped())
        return CodeplugResult::kCancelled;
    const std::size_t length =
        static_cast<std::size_t>(std::clamp<std::int32_t>(transfer.Size(), 0, kTransferImageBytes));
    if (uploaded <= 0)
        return CodeplugResult::kReadFailed;

    const std::vector<std::uint8_t> asRead(buffer.begin(),
                                           buffer.begin() + static_cast<std::ptrdiff_t>(length));
    const CodeplugConversion conversion =
        convertRadioCodeplug(buffer.data(), length, radioFormat[0], radioFormat[1]);
    record_.formatBefore = versionText(conversion.codeplugIndex);
    if (conversion.result == CodeplugConversionResult::SameFormat)
        return CodeplugResult::kSameFormat;  // the radio keeps a codeplug its firmware reads

    // Whatever is decided next, the codeplug as read is saved first: a radio left with a
    // codeplug its new firmware cannot use (one older than 5.8, or one that does not convert)
    // must not lose the only copy of its configuration.
    const std::string serial = accessCodeRead ? accessCode : std::string();
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const CodeplugBackupFile read = SaveCodeplugBackup(
        platform_.backupDirectory, serial, now, versionText(conversion.codeplugIndex), asRead);
    if (read.error.empty()) {
        lastBackup_ = read.path;
        record_.backupRead = read.path.string();
        record_.backupReadSha256 = Sha256Hex(asRead.data(), asRead.size());
    }
    const std::string savedAs =
        read.error.empty()
            ? "\n\nThe codeplug as read from the radio is saved in\n" + read.path.string()
            : "\n\nThe codeplug as read could not be saved: " + read.error;

    switch (conversion.result) {
        case CodeplugConversionResult::NotOffered:
            if (!read.error.empty()) {
                view_.ShowMessage(
                    updater_text::kTitleUpdater, MessageIcon::kError,
                    "The codeplug as read from the radio could not be saved.\n\n" + read.error);
            }
            return CodeplugResult::kNotOffered;
        case CodeplugConversionResult::Converted:
            break;
        case CodeplugConversionResult::Invalid:
            return OfferUnfinishedBackup(transfer, passwords, serial, radioFormat);
        case CodeplugConversionResult::DoesNotFit:
        case CodeplugConversionResult::Failed:
            SetStatus(updater_text::kConversionError);
            view_.ShowMessage(
                updater_text::kTitleUpdater, MessageIcon::kError,
                std::string(updater_text::kConversionError) + "\n\n" + conversion.reason + savedAs);
            return CodeplugResult::kConversionFailed;
        default:
            return CodeplugResult::kReadFailed;
    }

    // Nothing goes to the radio before both images are safely on disk; they are saved before
    // the wait, so a Stop during it still leaves them.
    CodeplugBackupFile converted;
    if (read.error.empty()) {
        converted = SaveCodeplugBackup(
            platform_.backupDirectory, serial, now, versionText(conversion.radioIndex),
            std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(
                                                                           conversion.newLength)));
    }
    if (!read.error.empty() || !converted.error.empty()) {
        SetStatus(updater_text::kBackupError);
        view_.ShowMessage(updater_text::kTitleUpdater, MessageIcon::kError,
                          std::string(updater_text::kBackupError) + "\n\n" +
                              (read.error.empty() ? converted.error : read.error) +
                              "\n\nThe radio keeps the codeplug it had; make room or fix the "
                              "folder and run the update again.");
        return CodeplugResult::kBackupFailed;
    }
    lastConverted_ = converted.path;
    record_.backupConverted = converted.path.string();
    record_.backupConvertedSha256 = Sha256Hex(buffer.data(), conversion.newLength);
    JournalPhase("backup");

    if (restartWaits_)
        JournalPhase("restart-wait");
    if (restartWaits_ && !RestartWait(updater_text::kResettingConverting))
        return CodeplugResult::kCancelled;

    if (!accessCodeRead) {
        ReportWriteFailure(updater_text::kDownloadError,
                           "The radio did not give its serial number, which the codeplug "
                           "write needs; nothing was written.");
        return CodeplugResult::kWriteFailed;
    }

    if (Stopped())
        return CodeplugResult::kCancelled;
    return WriteUntilHeld(
        transfer, passwords,
        std::vector<std::uint8_t>(
            buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(conversion.newLength)));
}

std::string CodeUpdater::WriteFailureStatus(const std::string& headline) const {
    return headline + " The codeplug is saved in " + lastConverted_.string() + ".";
}

void CodeUpdater::ReportWriteFailure(const std::string& headline, const std::string& why) {
    SetStatus(WriteFailureStatus(headline));
    view_.ShowMessage(updater_text::kTitleUpdater, MessageIcon::kError,
                      headline + (why.empty() ? std::string() : "\n" + why) +
                          "\n\nThe codeplug as read from the radio is saved in\n" +
                          lastBackup_.string() + "\nand converted to the radio's format in\n" +
                          lastConverted_.string() +
                          "\n\nWrite it back once the radio answers again:\n"
                          "quenta codeplug write " +
                          PortArguments() + " " + ShellQuote(lastConverted_.string()));
}

std::string CodeUpdater::PortArguments() const {
    return portArguments_.empty() ? "--port " + PortName() : portArguments_;
}
