#include "VersionInfoText.h"

#include <sstream>

#include "link/VersionRecord.h"

std::string FormatVersionInfo(const VersionRecord& r, TargetKind kind) {
    namespace vt = version_text;
    std::ostringstream s;
    s << vt::kFileFormatLabel << ' ' << vt::FileFormatVersion(r) << '\n'
      << vt::kDspLabel << ' ' << vt::DspVersion(r) << '\n'
      << vt::kControllerLabel << ' ' << vt::ControllerVersion(r) << '\n'
      << vt::kHardwareLabel << ' ' << vt::HardwareRevision(r, kind) << '\n'
      << vt::kSerialLabel << ' ' << vt::SerialNumber(r) << '\n'
      << vt::kBootLabel << ' ' << vt::BootVersion(r) << '\n'
      << vt::kSemLabel << ' ' << vt::SemVersion(r) << '\n';
    return s.str();
}

nlohmann::json VersionInfoJson(const VersionRecord& r, TargetKind kind) {
    namespace vt = version_text;
    return {{"fileFormat", vt::FileFormatVersion(r)},
            {"dsp", vt::DspVersion(r)},
            {"controller", vt::ControllerVersion(r)},
            {"hardware", vt::HardwareRevision(r, kind)},
            {"serial", vt::SerialNumber(r)},
            {"boot", vt::BootVersion(r)},
            {"sem", vt::SemVersion(r)}};
}
