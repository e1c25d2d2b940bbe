#include "download/DspPageFiles.h"

#include <string>
#include <system_error>

DspPageFiles::~DspPageFiles() {
    RemoveAll();
}

std::filesystem::path DspPageFiles::PathOf(int page) const {
    return directory_ / ("Page" + std::to_string(page));
}

bool DspPageFiles::Create() {
    created_ = true;
    bool ok = true;
    for (int i = 0; i < kDspPageCount; ++i) {
        std::ofstream& f = files_[static_cast<std::size_t>(i)];
        f.open(PathOf(i), std::ios::binary | std::ios::out | std::ios::trunc);
        ok = ok && f.is_open();
    }
    used_.fill(false);
    usedCount_ = 0;
    return ok;
}

bool DspPageFiles::Write(int page, std::int64_t offset, const void* data, std::int64_t count) {
    if (page < 0 || page >= kDspPageCount)
        return false;
    std::ofstream& f = files_[static_cast<std::size_t>(page)];
    if (!f.is_open())
        return false;
    f.seekp(static_cast<std::streamoff>(offset));
    if (count > 0)
        f.write(static_cast<const char*>(data), static_cast<std::streamsize>(count));
    if (!f)
        return false;
    if (!used_[static_cast<std::size_t>(page)]) {
        used_[static_cast<std::size_t>(page)] = true;
        ++usedCount_;
    }
    return true;
}

bool DspPageFiles::CloseAll() {
    bool ok = true;
    for (std::ofstream& f : files_) {
        if (!f.is_open())
            continue;
        f.close();
        ok = ok && !f.fail();
    }
    return ok;
}

void DspPageFiles::RemoveAll() {
    if (!created_)
        return;
    for (std::ofstream& f : files_) {
        if (f.is_open())
            f.close();
    }
    for (int i = 0; i < kDspPageCount; ++i) {
        std::error_code ignored;
        std::filesystem::remove(PathOf(i), ignored);
    }
    created_ = false;
}
