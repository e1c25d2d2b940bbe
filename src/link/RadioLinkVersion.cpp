// The composite reads: the version record and the boot load version.
#include <cstring>

#include "link/CommandTable.h"
#include "link/RadioLink.h"
#include "link/TargetKinds.h"

namespace {

bool ControllerHasSem(std::uint8_t first) {
    return first == 2 || first == 4 || first == 6;
}

// One field of the record: request, reply, where its data bytes go.
struct VersionField {
    std::int32_t request;
    std::int32_t reply;
    int offset;
    int size;
};

constexpr VersionField kIdentityFields[] = {
    {kCmdReadFileFormatVersion, kCmdFileFormatVersion, VersionRecord::kFileFormatOffset, 2},
    {kCmdReadDspVersion, kCmdDspVersion, VersionRecord::kDspOffset, 3},
    {kCmdReadControllerVersion, kCmdControllerVersion, VersionRecord::kControllerOffset, 3},
    {kCmdReadHardwareRevision, kCmdHardwareRevision, VersionRecord::kHardwareOffset, 3},
    {kCmdReadSerialNumber, kCmdSerialNumber, VersionRecord::kSerialOffset, 8},
};
constexpr VersionField kBootField = {kCmdReadBootVersion, kCmdBootVersion,
                                     VersionRecord::kBootOffset, 2};

// A busy reply carries no data: the field then reads as zeros.
void StoreField(VersionRecord& record, const VersionField& f, const MessageRecord& reply,
                bool busy) {
    if (busy) {
        std::memset(record.bytes + f.offset, 0, static_cast<size_t>(f.size));
    } else {
        std::memcpy(record.bytes + f.offset, reply.buffer + 2, static_cast<size_t>(f.size));
    }
}

}  // namespace

LinkResult RadioLink::VersionStep(std::int32_t requestId, std::int32_t replyId,
                                  MessageRecord& reply, bool& busy) {
    MessageRecord request, expected, busyCode;
    MakeCommand(request, requestId);
    MakeCommand(expected, replyId);
    MakeCommand(busyCode, kCmdInformationBusy);
    for (int attempt = 0;; ++attempt) {
        SendRecord(request);
        reply = AwaitReply(expected, ReplyLength(replyId), busyCode,
                           ReplyLength(kCmdInformationBusy), busy);
        LinkResult r = Outcome();
        if (r != LinkResult::kSuccess || !busy || attempt >= kVersionBusyRepeats)
            return r;
    }
}

LinkResult RadioLink::ReadVersionRecord(TargetKind kind, VersionRecord& record, bool withSem) {
    MessageRecord reply;
    bool busy = false;
    for (const VersionField& f : kIdentityFields) {
        LinkResult r = VersionStep(f.request, f.reply, reply, busy);
        if (r != LinkResult::kSuccess)
            return r;
        StoreField(record, f, reply, busy);
    }

    LinkResult result = VersionStep(kBootField.request, kBootField.reply, reply, busy);
    if (result == LinkResult::kSuccess) {
        StoreField(record, kBootField, reply, busy);
    } else {
        record.bytes[VersionRecord::kBootOffset] = 0;
        record.bytes[VersionRecord::kBootOffset + 1] = 0;
        if (TargetKindInfo(kind).recordMayLackBoot)
            result = LinkResult::kNoBootInfo;
    }

    record.bytes[VersionRecord::kSemOffset] = 0;
    record.bytes[VersionRecord::kSemOffset + 1] = 0;

    if (withSem && (result == LinkResult::kSuccess || result == LinkResult::kNoBootInfo) &&
        TargetKindInfo(kind).hasSem &&
        ControllerHasSem(record.bytes[VersionRecord::kControllerOffset])) {
        MessageRecord request;
        MakeCommand(request, kCmdReadSemVersion);
        SendRecord(request);
        // The SEM read takes whatever frame comes next.
        MessageRecord sem = ReceiveAnyReply();
        if (Outcome() == LinkResult::kSuccess) {
            // A frame shorter than code + major + minor leaves the SEM version at zeros.
            if (sem.length >= 4) {
                record.bytes[VersionRecord::kSemOffset] = sem.buffer[2];
                record.bytes[VersionRecord::kSemOffset + 1] = sem.buffer[3];
            }
            result = LinkResult::kSuccess;
        } else {
            result = LinkResult::kSemFailed;
        }
    }
    return result;
}

LinkResult RadioLink::RetrieveVersionRecord(TargetKind kind, VersionRecord& record, bool withSem) {
    if (!PrepareTimeout(kReplyTimeoutMs))
        return LinkResult::kCommProblem;
    LinkResult r = ReadVersionRecord(kind, record, withSem);
    ReleaseTimeout();
    return r;
}

LinkResult RadioLink::ReadBootVersion(TargetKind kind, std::uint8_t out2[2]) {
    if (!PrepareTimeout(kReplyTimeoutMs))
        return LinkResult::kCommProblem;
    MessageRecord request, expected, busyCode;
    MakeCommand(request, kCmdReadBootVersion);
    MakeCommand(expected, kCmdBootVersion);
    MakeCommand(busyCode, kCmdInformationBusy);
    bool busy = false;
    MessageRecord reply = ExchangeRepeatingBusy(request, expected, ReplyLength(kCmdBootVersion),
                                                busyCode, ReplyLength(kCmdInformationBusy), busy);
    LinkResult r = Outcome();
    // A busy reply that ends the exchange (device transport) carries no version.
    const bool gotVersion = r == LinkResult::kSuccess && !busy;
    LinkResult result;
    if (gotVersion) {
        out2[0] = reply.buffer[2];
        out2[1] = reply.buffer[3];
        result = LinkResult::kSuccess;
    } else if (TargetKindInfo(kind).bootReadMayFail) {
        out2[0] = 0;
        out2[1] = 0;
        result = LinkResult::kNoBootInfo;
    } else {
        result = (r == LinkResult::kSuccess) ? LinkResult::kCommProblem : r;
    }
    ReleaseTimeout();
    return result;
}
