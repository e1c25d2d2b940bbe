#include "LinePacer.h"

#include <algorithm>

LinePacer::LinePacer(bool paced, std::int64_t turnaroundNs)
    : paced_(paced), turnaroundNs_(std::max<std::int64_t>(0, turnaroundNs)) {}

std::int64_t LinePacer::ByteNs(int baud) {
    if (baud <= 0)
        return 0;
    return (kBitsPerByte * 1000000000LL + baud / 2) / baud;
}

std::int64_t LinePacer::Receive(std::int64_t readNs, int baud) {
    const std::int64_t byteNs = ByteNs(baud);
    ++totals_.bytesFromTool;
    totals_.wireNs += byteNs;
    if (!paced_)
        return readNs;
    // A byte starts when the tool wrote it or when the one before it has crossed, if later.
    rxFreeNs_ = std::max(rxFreeNs_, readNs) + byteNs;
    return rxFreeNs_;
}

std::int64_t LinePacer::Send(std::int64_t readyNs, int count, int baud) {
    const std::int64_t frameNs = ByteNs(baud) * count;
    totals_.bytesToTool += count;
    totals_.wireNs += frameNs;
    if (!paced_)
        return readyNs;
    txFreeNs_ = std::max(txFreeNs_, readyNs) + frameNs;
    return txFreeNs_;
}

void LinePacer::Delivered(std::int64_t nowNs, std::int64_t lateNs) {
    ++totals_.replies;
    totals_.lateNsSum += std::max<std::int64_t>(0, lateNs);
    totals_.lateNsMax = std::max(totals_.lateNsMax, lateNs);
    awaitingTool_ = true;
    deliveredNs_ = nowNs;
}

void LinePacer::ToolBytesRead(std::int64_t nowNs) {
    if (!awaitingTool_)
        return;
    awaitingTool_ = false;
    const std::int64_t ns = std::max<std::int64_t>(0, nowNs - deliveredNs_);
    if (turnaroundBins_.empty())
        turnaroundBins_.assign(kTurnaroundBins, 0);
    const std::int64_t bin = std::min<std::int64_t>(ns / 1000, kTurnaroundBins - 1);
    ++turnaroundBins_[static_cast<std::size_t>(bin)];
    ++totals_.turnarounds;
    totals_.turnaroundMaxNs = std::max(totals_.turnaroundMaxNs, ns);
    totals_.turnaroundNsSum += ns;
}

LinePacer::Figures LinePacer::Totals() const {
    Figures f = totals_;
    if (f.turnarounds == 0)
        return f;
    // The median's bin, reported at its middle.
    long long seen = 0;
    for (std::size_t bin = 0; bin < turnaroundBins_.size(); ++bin) {
        seen += turnaroundBins_[bin];
        if (2 * seen >= f.turnarounds) {
            f.turnaroundMedianNs = static_cast<std::int64_t>(bin) * 1000 + 500;
            break;
        }
    }
    return f;
}
