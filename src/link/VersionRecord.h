#pragma once

#include <cstdint>
#include <string>

#include "link/LinkTypes.h"

// The 23-byte version record read from the radio. Each field is copied byte for byte from the
// data bytes of its reply.
struct VersionRecord {
    static constexpr int kSize = 23;
    static constexpr int kFileFormatOffset = 0;  // 2 bytes: major, minor
    static constexpr int kDspOffset = 2;         // 3 bytes
    static constexpr int kControllerOffset = 5;  // 3 bytes
    static constexpr int kHardwareOffset = 8;    // 3 bytes
    static constexpr int kSerialOffset = 11;     // 8 bytes
    static constexpr int kBootOffset = 19;       // 2 bytes: major, minor; zeros when not available
    static constexpr int kSemOffset = 21;        // 2 bytes: major, minor; zeros when not read
    static constexpr int kSerialSize = 8;

    std::uint8_t bytes[kSize] = {};

    const std::uint8_t* FileFormatVersion() const { return bytes + kFileFormatOffset; }
    const std::uint8_t* DspVersion() const { return bytes + kDspOffset; }
    const std::uint8_t* ControllerVersion() const { return bytes + kControllerOffset; }
    const std::uint8_t* HardwareRevision() const { return bytes + kHardwareOffset; }
    const std::uint8_t* SerialNumber() const { return bytes + kSerialOffset; }
    const std::uint8_t* BootVersion() const { return bytes + kBootOffset; }
    const std::uint8_t* SemVersion() const { return bytes + kSemOffset; }
};

// Display texts of the version record, as the version pane and the command line show them.
namespace version_text {

extern const char* const kNotApplicable;  // "Not Applicable"

// The bytes in decimal without leading zeros, joined by ".": {4,1,12} -> "4.1.12".
std::string Dotted(const std::uint8_t* bytes, int count);
// Eight bytes as upper-case hexadecimal pairs joined by "-" (23 characters).
std::string SerialNumber(const std::uint8_t* bytes);

std::string FileFormatVersion(const VersionRecord& r);
std::string DspVersion(const VersionRecord& r);
std::string ControllerVersion(const VersionRecord& r);
std::string HardwareRevision(const VersionRecord& r, TargetKind kind);  // or "Not Applicable"
std::string SerialNumber(const VersionRecord& r);
std::string BootVersion(const VersionRecord& r);  // "Not Applicable" when both bytes are 0
std::string SemVersion(const VersionRecord& r);   // "Not Applicable" when both bytes are 0

// The labels of the version pane, in display order.
extern const char* const kFileFormatLabel;           // "File Format Version:"
extern const char* const kDspLabel;                  // "DSP Software Version:"
extern const char* const kControllerLabel;           // "Controller Version:"
extern const char* const kControllerHeadingInitial;  // "HC08 Software Version:"
extern const char* const kHardwareLabel;             // "Hardware Revision:"
extern const char* const kSerialLabel;               // "Radio Serial Number:"
extern const char* const kBootLabel;                 // "Boot Load Version:"
extern const char* const kSemLabel;                  // "SEM Version:"

// True for the results of RetrieveVersionRecord whose record is to be shown (success, no boot
// information, SEM read failed).
bool IsShowable(LinkResult result);

}  // namespace version_text
