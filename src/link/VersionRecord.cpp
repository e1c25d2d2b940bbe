#include "link/VersionRecord.h"

#include "link/TargetKinds.h"

namespace version_text {

const char* const kNotApplicable = "Not Applicable";
const char* const kFileFormatLabel = "File Format Version:";
const char* const kDspLabel = "DSP Software Version:";
const char* const kControllerLabel = "Controller Version:";
const char* const kControllerHeadingInitial = "HC08 Software Version:";
const char* const kHardwareLabel = "Hardware Revision:";
const char* const kSerialLabel = "Radio Serial Number:";
const char* const kBootLabel = "Boot Load Version:";
const char* const kSemLabel = "SEM Version:";

std::string Dotted(const std::uint8_t* bytes, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            s += '.';
        s += std::to_string(static_cast<unsigned>(bytes[i]));
    }
    return s;
}

std::string SerialNumber(const std::uint8_t* bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < VersionRecord::kSerialSize; ++i) {
        if (i > 0)
            s += '-';
        s += kHex[bytes[i] >> 4];
        s += kHex[bytes[i] & 0x0F];
    }
    return s;
}

namespace {
std::string DottedOrNotApplicable(const std::uint8_t* two) {
    if (two[0] == 0 && two[1] == 0)
        return kNotApplicable;
    return Dotted(two, 2);
}
}  // namespace

std::string FileFormatVersion(const VersionRecord& r) {
    return Dotted(r.FileFormatVersion(), 2);
}
std::string DspVersion(const VersionRecord& r) {
    return Dotted(r.DspVersion(), 3);
}
std::string ControllerVersion(const VersionRecord& r) {
    return Dotted(r.ControllerVersion(), 3);
}
std::string HardwareRevision(const VersionRecord& r, TargetKind kind) {
    return TargetKindInfo(kind).showsHardwareRevision ? Dotted(r.HardwareRevision(), 3)
                                                      : kNotApplicable;
}
std::string SerialNumber(const VersionRecord& r) {
    return SerialNumber(r.SerialNumber());
}
std::string BootVersion(const VersionRecord& r) {
    return DottedOrNotApplicable(r.BootVersion());
}
std::string SemVersion(const VersionRecord& r) {
    return DottedOrNotApplicable(r.SemVersion());
}

bool IsShowable(LinkResult result) {
    return result == LinkResult::kSuccess || result == LinkResult::kNoBootInfo ||
           result == LinkResult::kSemFailed;
}

}  // namespace version_text
