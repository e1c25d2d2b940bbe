#pragma once

#include <cstdint>
#include <string>

#include "transfer/OfbCipher.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransfer.h"
#include "transfer/ZKWTransferParmsPassChecker.h"

// The codeplug transfer: Upload reads the codeplug out of the radio into the image buffer,
// Download writes the image back, scrambled, in 128-byte blocks with a running block sum.
class ZKWTransferParms : public ZKWTransfer {
  public:
    int Upload() override;
    int Download() override;
    void SetLink(RadioLink* l) override;

    // The radio's access code as 16 hexadecimal digits; it seeds the download's keystream.
    // Any other text gives eight zero bytes.
    void SetAccessCode(const std::string& text);

    ZKWTransferParmsPassChecker passChecker;

    // What the last download achieved beyond its result: a download can end with a positive
    // result although the radio reported block sums that differ from ours, or stopped asking
    // for blocks before the image was sent. A caller trusts the write only when Complete().
    struct DownloadReport {
        int blocksSent = 0;
        int blocksNeeded = 0;
        int sumReports = 0;
        int sumMismatches = 0;
        bool endSent = false;  // every block went out and the transfer's end was sent
    };
    const DownloadReport& LastDownload() const { return report_; }
    bool DownloadComplete() const {
        return report_.endSent && report_.sumMismatches == 0 &&
               report_.blocksSent == report_.blocksNeeded;
    }

  private:
    bool ImageComplete();

    std::uint16_t blockSum = 0;
    OfbCipher::Register accessCode{};
    std::int32_t nextRecord = 0;
    // The keystream of the download in progress; each download starts it afresh.
    OfbCipher keystream_;
    DownloadReport report_;
};
