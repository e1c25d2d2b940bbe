#include "app/report/KeptTraces.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "common/HomeFolder.h"
#include "common/PrivateFolders.h"
#include "common/ProgramVersion.h"

namespace report {

namespace {

constexpr mode_t kPrivateFileMode = 0600;
constexpr const char* kTraceExtension = ".trace";

std::string UtcStamp(std::time_t now, const char* format) {
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

}  // namespace

std::filesystem::path DefaultTraceFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::filesystem::path(state) / "quenta" / "traces";
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    return std::filesystem::path(home) / ".local" / "state" / "quenta" / "traces";
}

std::vector<std::filesystem::path> KeptTraceFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().extension() == kTraceExtension && it->is_regular_file(ec))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

KeptTrace::KeptTrace(std::filesystem::path folder, std::string run)
    : folder_(std::move(folder)), run_(std::move(run)) {}

std::string KeptTrace::FileStem(std::time_t now) const {
    // "codeplug read" names a file as codeplug-read.
    std::string run = run_;
    for (char& c : run) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '-';
    }
    return UtcStamp(now, "%Y%m%dT%H%M%SZ") + "-" + run + "-" +
           std::to_string(static_cast<long>(::getpid()));
}

KeptTrace::~KeptTrace() {
    Close();
}

bool KeptTrace::Open() {
    tried_ = true;
    std::string error;
    if (folder_.empty() || !MakePrivateFolders(folder_, error))
        return false;
    const std::time_t now = std::time(nullptr);
    const std::string stem = FileStem(now);
    int fd = -1;
    for (int k = 1; fd < 0 && k <= 9; ++k) {
        path_ =
            folder_ / (stem + (k == 1 ? std::string() : "-" + std::to_string(k)) + kTraceExtension);
        fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0 || (file_ = ::fdopen(fd, "w")) == nullptr) {
        if (fd >= 0)
            ::close(fd);
        path_.clear();
        return false;
    }
    std::fprintf(file_, "# quenta %s %s, %s\n", quenta::kVersion, run_.c_str(),
                 UtcStamp(now, "%Y-%m-%dT%H:%M:%SZ").c_str());
    // The oldest go; this run's file is the newest. A file another run removed first is fine.
    const std::vector<std::filesystem::path> kept = KeptTraceFiles(folder_);
    const std::size_t excess = kept.size() > kKeptRuns ? kept.size() - kKeptRuns : 0;
    std::error_code ignored;
    for (std::size_t i = 0; i < excess; ++i) {
        if (kept[i] != path_)
            std::filesystem::remove(kept[i], ignored);
    }
    return true;
}

void KeptTrace::Write(char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
    if (file_ == nullptr) {
        if (tried_ || !Open())
            return;
        start_ = ms;
    }
    std::fprintf(file_, "%8lld %c", static_cast<long long>(ms - start_), direction);
    for (int i = 0; i < count; ++i)
        std::fprintf(file_, " %02X", bytes[i]);
    std::fputc('\n', file_);
}

RadioLink::TraceSink KeptTrace::Sink() {
    return [this](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
        Write(direction, bytes, count, ms);
    };
}

void KeptTrace::Close() {
    tried_ = true;
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace report
