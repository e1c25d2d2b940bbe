#include "app/report/TarGzWriter.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "common/ReplacementFile.h"

namespace {

constexpr mode_t kEntryMode = kPrivateFileMode;
constexpr std::size_t kCopyBlock = 64 * 1024;

struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using Entry = std::unique_ptr<archive_entry, EntryFree>;

Entry MakeEntry(const std::string& name, std::int64_t size) {
    Entry entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), kEntryMode);
    archive_entry_set_size(entry.get(), size);
    archive_entry_set_mtime(entry.get(), std::time(nullptr), 0);
    return entry;
}

}  // namespace

TarGzWriter::~TarGzWriter() {
    Discard();
}

bool TarGzWriter::Open(const std::filesystem::path& target, std::string& error) {
    Discard();
    const ReplaceResult opened = file_.Open(target, kPrivateFileMode);
    if (opened != ReplaceResult::kOk) {
        error = ReplaceFailureText(opened, file_.Error(), target.string());
        return false;
    }
    archive_ = archive_write_new();
    if (archive_ == nullptr || archive_write_add_filter_gzip(archive_) != ARCHIVE_OK ||
        archive_write_set_format_pax_restricted(archive_) != ARCHIVE_OK ||
        archive_write_open_fd(archive_, file_.Descriptor()) != ARCHIVE_OK)
        return Failed("cannot write " + target.string(), error);
    return true;
}

bool TarGzWriter::Add(const std::string& name, const std::string& bytes, std::string& error) {
    if (archive_ == nullptr)
        return false;
    const Entry entry = MakeEntry(name, static_cast<std::int64_t>(bytes.size()));
    if (archive_write_header(archive_, entry.get()) != ARCHIVE_OK)
        return Failed("cannot add " + name, error);
    if (!bytes.empty() && archive_write_data(archive_, bytes.data(), bytes.size()) !=
                              static_cast<la_ssize_t>(bytes.size()))
        return Failed("cannot add " + name, error);
    return true;
}

bool TarGzWriter::AddFile(const std::string& name, const std::filesystem::path& file,
                          std::string& error) {
    if (archive_ == nullptr)
        return false;
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (in < 0 || ::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot read " + file.string() + ": " +
                (in < 0 ? std::strerror(errno) : "not a regular file");
        if (in >= 0)
            ::close(in);
        Discard();
        return false;
    }
    // The size in the header is the file's now; a file that grows meanwhile is cut there, one
    // that shrinks is padded by libarchive, so the archive stays readable either way.
    const Entry entry = MakeEntry(name, static_cast<std::int64_t>(info.st_size));
    bool ok = archive_write_header(archive_, entry.get()) == ARCHIVE_OK;
    std::vector<char> block(kCopyBlock);
    std::int64_t left = info.st_size;
    while (ok && left > 0) {
        const ssize_t n = ::read(in, block.data(), kCopyBlock);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(n, left));
        ok = archive_write_data(archive_, block.data(), take) == static_cast<la_ssize_t>(take);
        left -= static_cast<std::int64_t>(take);
    }
    ::close(in);
    return ok || Failed("cannot add " + file.string(), error);
}

bool TarGzWriter::Finish(std::string& error) {
    if (archive_ == nullptr)
        return false;
    if (archive_write_close(archive_) != ARCHIVE_OK)
        return Failed("cannot write " + file_.Target().string(), error);
    archive_write_free(archive_);
    archive_ = nullptr;
    const ReplaceResult committed = file_.Commit();
    if (committed != ReplaceResult::kOk) {
        error = ReplaceFailureText(committed, file_.Error(), file_.Target().string());
        return false;
    }
    return true;
}

bool TarGzWriter::Failed(const std::string& what, std::string& error) {
    const char* why = archive_ != nullptr ? archive_error_string(archive_) : nullptr;
    error = what + ": " + (why != nullptr ? why : std::strerror(errno != 0 ? errno : EIO));
    Discard();
    return false;
}

void TarGzWriter::Discard() {
    if (archive_ != nullptr) {
        archive_write_free(archive_);
        archive_ = nullptr;
    }
    file_.Discard();
}
