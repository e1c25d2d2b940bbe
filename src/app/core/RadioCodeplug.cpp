#include "app/core/RadioCodeplug.h"

#include "app/core/CodeUpdater.h"
#include "app/core/CodeplugPace.h"
#include "app/core/CodeplugVerify.h"
#include "app/core/UpdaterTexts.h"
#include "convert/RadioCodeplugConversion.h"
#include "link/CommandTable.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

namespace {

std::string FormatText(const std::uint8_t format[2]) {
    return std::to_string(format[0]) + "." + std::to_string(format[1]);
}

// The transfer over the updater's link with the password prompt of the view.
void Attach(ZKWTransferParms& transfer, CodeUpdater& updater, CodeplugPasswords& passwords,
            std::vector<std::uint8_t>& buffer, std::int32_t size) {
    transfer.SetImage(buffer.data(), size);
    transfer.SetLink(&updater.Link());
    transfer.passChecker.askPassword = passwords.Prompt();
}

}  // namespace

bool QueryRadioCodeplugFormat(RadioLink& link, std::uint8_t format[2]) {
    MessageRecord query;
    MakeCommand(query, kCmdReadFileFormatVersion);
    link.Send(query);
    link.SetEnabled(true);
    MessageRecord reply;
    MessageRecord expected;
    MakeCommand(expected, kCmdFileFormatVersion);
    if (!link.Receive(reply) || reply.length < 4 || reply.buffer[0] != expected.buffer[0] ||
        reply.buffer[1] != expected.buffer[1])
        return false;
    format[0] = reply.buffer[2];
    format[1] = reply.buffer[3];
    return true;
}

RadioCodeplugResult ReadRadioCodeplug(CodeUpdater& updater, UpdaterView& view,
                                      std::vector<std::uint8_t>& codeplug) {
    RadioCodeplugResult r;
    RadioLink& link = updater.Link();
    if (!link.PrepareTimeout(kReplyTimeoutMs)) {
        r.error = "no reply timeout could be set up on the port";
        return r;
    }
    if (!QueryRadioCodeplugFormat(link, r.radioFormat)) {
        r.error = "the radio does not answer";
    } else {
        std::vector<std::uint8_t> buffer(kTransferImageBytes, 0);
        ZKWTransferParms transfer;
        CodeplugPasswords passwords(view);
        Attach(transfer, updater, passwords, buffer, 0);
        if (transfer.Upload() <= 0 || transfer.Size() <= 0) {
            r.error = transfer.passChecker.Prompts() > 0 && !transfer.passChecker.Granted()
                          ? "the radio refused the codeplug password"
                          : "the radio stopped sending its codeplug";
        } else {
            const auto size = static_cast<std::size_t>(
                std::min<std::int32_t>(transfer.Size(), kTransferImageBytes));
            codeplug.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
            std::vector<std::uint8_t> copy = buffer;
            r.codeplugIndex =
                convertRadioCodeplug(copy.data(), size, r.radioFormat[0], r.radioFormat[1])
                    .codeplugIndex;
            r.ok = true;
        }
    }
    link.ReleaseTimeout();
    return r;
}

std::string CodeplugMisfit(const std::vector<std::uint8_t>& codeplug,
                           const std::uint8_t radioFormat[2], std::uint8_t& codeplugIndex) {
    std::vector<std::uint8_t> check(kTransferImageBytes, 0);
    std::copy(codeplug.begin(),
              codeplug.begin() + static_cast<std::ptrdiff_t>(
                                     std::min<std::size_t>(codeplug.size(), kTransferImageBytes)),
              check.begin());
    const CodeplugConversion c =
        convertRadioCodeplug(check.data(), codeplug.size(), radioFormat[0], radioFormat[1]);
    codeplugIndex = c.codeplugIndex;
    const std::string radio = FormatText(radioFormat);
    if (c.result == CodeplugConversionResult::Invalid)
        return "the file is no well-formed codeplug (" + c.reason + "); nothing was written";
    if (c.result != CodeplugConversionResult::SameFormat) {
        return "the file holds format " + versionText(c.codeplugIndex) + " but the radio expects " +
               radio +
               "; nothing was written. Convert it "
               "first: quenta codeplug convert --to " +
               radio + " IN OUT";
    }
    return {};
}

RadioCodeplugResult WriteRadioCodeplug(CodeUpdater& updater, UpdaterView& view,
                                       const std::vector<std::uint8_t>& codeplug, bool showProgress,
                                       const std::string& expectedSerial) {
    RadioCodeplugResult r;
    if (codeplug.empty() || codeplug.size() > static_cast<std::size_t>(kTransferImageBytes) ||
        codeplug.size() % 2 != 0) {
        r.error = "a codeplug file holds an even number of bytes, at most 32768; this one has " +
                  std::to_string(codeplug.size());
        return r;
    }
    RadioLink& link = updater.Link();
    if (!link.PrepareTimeout(kReplyTimeoutMs)) {
        r.error = "no reply timeout could be set up on the port";
        return r;
    }
    std::string accessCode;
    bool codeRead = false;
    for (int attempt = 0; attempt < kAccessCodeAttempts && !codeRead; ++attempt)
        codeRead = updater.ReadRadioAccessCode(accessCode);
    std::vector<std::uint8_t> buffer(kTransferImageBytes, 0);
    std::copy(codeplug.begin(), codeplug.end(), buffer.begin());
    if (codeRead)
        r.serial = accessCode;
    if (!codeRead) {
        r.error = "the radio did not give its serial number, which the write needs";
    } else if (!expectedSerial.empty() && accessCode != expectedSerial) {
        r.error = "the radio on the port is now " + accessCode + ", not " + expectedSerial +
                  "; nothing was written";
    } else if (!QueryRadioCodeplugFormat(link, r.radioFormat)) {
        r.error = "the radio does not answer the codeplug format query";
    } else if (const std::string misfit = CodeplugMisfit(codeplug, r.radioFormat, r.codeplugIndex);
               !misfit.empty()) {
        r.error = misfit;
    } else {
        ZKWTransferParms transfer;
        CodeplugPasswords passwords(view);
        transfer.SetAccessCode(accessCode);
        const auto size = static_cast<std::int32_t>(codeplug.size());
        Attach(transfer, updater, passwords, buffer, size);
        transfer.SetSize(size);
        if (showProgress) {
            updater.StartProgressTimer(static_cast<int>(size * kDownloadProgressMsPerByte));
            updater.SetStatus(updater_text::kDownloading);
        }
        const bool written = transfer.Download() > 0 && transfer.DownloadComplete();
        if (showProgress)
            updater.StopProgressTimer();
        if (written) {
            // Only a read-back shows that the radio stored what it took.
            if (showProgress) {
                updater.StartProgressTimer(kUploadProgressMs);
                updater.SetStatus(updater_text::kVerifying);
            }
            const CodeplugVerify verify =
                ReadBackCodeplug(link, passwords.ReadBackPrompt(), codeplug);
            if (showProgress)
                updater.StopProgressTimer();
            r.ok = verify.Held();
            r.verified = verify.Held();
            if (!r.ok) {
                r.error =
                    "the radio does not hold the codeplug that was written: " + verify.Describe();
            }
        } else if (transfer.LastDownload().blocksSent == 0 && transfer.passChecker.Prompts() > 0 &&
                   !transfer.passChecker.Granted()) {
            // The radio asks before the first block: its codeplug is as it was.
            r.error = "the radio refused the codeplug password; nothing was written";
        } else {
            r.error = "the write did not complete (" +
                      std::to_string(transfer.LastDownload().blocksSent) + " of " +
                      std::to_string(transfer.LastDownload().blocksNeeded) +
                      " blocks); the radio's codeplug may be damaged: write the file again";
        }
    }
    link.ReleaseTimeout();
    return r;
}
