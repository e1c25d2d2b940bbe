#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <system_error>
#include <vector>

#include "app/package/EmbeddedPackage.h"
#include "app/package/ExclusiveFile.h"
#include "app/package/PackageNames.h"

const char* const kEmbeddedLoaderFailed =
    "Quenta Code Updater could not read the embedded loader file.\n"
    "Please verify that any other instances of Quenta Code Updater\n"
    "have begun downloading and try again.";
const char* const kEmbeddedCodeFailed =
    "Quenta Code Updater could not read the embedded code file.\n"
    "Please verify that any other instances of Quenta Code Updater\n"
    "have begun downloading and try again.";
const char* const kEmbeddedFilesTitle = "Embedded Files";

namespace {

// Images are streamed through a buffer of this size, so memory stays flat whatever their size.
constexpr std::size_t kCopyBlockBytes = 1024;
// Loader.hex, Loader1.hex, ... up to this many names are tried before the join gives up.
constexpr int kMaxJoinedNames = 1000;

std::string InDirectory(const std::string& name, const std::filesystem::path& directory) {
    return name + " in " + (directory.empty() ? std::string(".") : directory.string());
}

// Copies the whole stream into file; false with detail when the stream breaks or the write
// falls short.
bool CopyStream(std::istream& in, ExclusiveFile& file, const std::string& what,
                std::string& detail) {
    std::array<char, kCopyBlockBytes> block;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > 0 && !file.Write(block.data(), got)) {
            detail = "cannot write " + what + ": " + ErrorText(file.Error()) +
                     ". Free space there (or run from a writable folder) and try again.";
            return false;
        }
    }
    if (in.bad()) {
        detail = "the program's embedded image could not be read while writing " + what +
                 ". The program file may be damaged; reinstall it.";
        return false;
    }
    return true;
}

// Appends the chunk file at path to file, as many bytes as the file holds when it is opened;
// false with detail when the chunk is missing or ends early, or the write falls short.
bool AppendChunk(const std::filesystem::path& path, ExclusiveFile& file, const std::string& what,
                 std::string& detail) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        detail = "cannot open the chunk " + path.filename().string() + ": " + ErrorText(errno) +
                 ". Try the update again.";
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    std::int64_t remaining = ok ? static_cast<std::int64_t>(info.st_size) : 0;
    std::array<char, kCopyBlockBytes> block;
    while (ok && remaining > 0) {
        const std::size_t want = remaining < static_cast<std::int64_t>(block.size())
                                     ? static_cast<std::size_t>(remaining)
                                     : block.size();
        const ssize_t got = ::read(fd, block.data(), want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            detail = "the chunk " + path.filename().string() + " ended " +
                     std::to_string(remaining) + " bytes early while joining " + what +
                     ". Try the update again.";
            ok = false;
            break;
        }
        if (!file.Write(block.data(), static_cast<std::size_t>(got))) {
            detail = "cannot write " + what + ": " + ErrorText(file.Error()) +
                     ". Free space there and try again.";
            ok = false;
            break;
        }
        remaining -= got;
    }
    ::close(fd);
    return ok;
}

// Files this extraction created, so that a failure can take every one of them away again.
using MadeFiles = std::vector<std::filesystem::path>;

std::string JoinChunks(const std::filesystem::path& directory, const std::string& baseName,
                       std::uint32_t count, const std::string& extension, bool& ok,
                       std::string& detail, MadeFiles* made = nullptr) {
    ok = false;
    ExclusiveFile file;
    std::string name = baseName + "." + extension;
    int error = file.Create(directory / name);
    for (int k = 1; error == EEXIST && k < kMaxJoinedNames; ++k) {
        name = baseName + std::to_string(k) + "." + extension;
        error = file.Create(directory / name);
    }
    const std::string what = InDirectory(name, directory);
    if (error != 0) {
        detail = "cannot create " + what + ": " + ErrorText(error) +
                 ". Run the program from a folder you may write to.";
        return name;
    }
    if (made != nullptr)
        made->push_back(directory / name);
    bool copied = true;
    for (std::uint32_t i = 1; copied && i <= count; ++i)
        copied = AppendChunk(directory / (baseName + "." + std::to_string(i)), file, what, detail);
    if (!file.Close() && copied) {
        detail = "cannot write " + what + ": " + ErrorText(file.Error()) +
                 ". Free space there and try again.";
        copied = false;
    }
    if (!copied) {
        // An image that is not whole must never reach the radio: the joined file goes.
        std::error_code ignored;
        std::filesystem::remove(directory / name, ignored);
        return name;
    }
    ok = true;
    return name;
}

// Writes the chunks baseName.1 .. baseName.count of one image from the package; false with
// detail on a collision (an entry of that name exists: another copy is extracting, or an
// earlier run stopped) or any failure to write a chunk whole.
bool WriteChunks(const PackageResources& package, ImageSet set, ImageRole role, std::uint32_t count,
                 const std::filesystem::path& directory, std::string& detail, MadeFiles& made) {
    const std::string baseName = ImageRoleName(role);
    for (std::uint32_t n = 1; n <= count; ++n) {
        const std::string chunkName = baseName + "." + std::to_string(n);
        const std::string what = InDirectory(chunkName, directory);
        const std::string resource = ChunkResourceName(set, role, n);
        const std::unique_ptr<std::istream> in = package.Open(resource);
        if (!in) {
            detail = "the program holds no resource " + resource +
                     ": its package is incomplete. Rebuild or reinstall the program.";
            return false;
        }
        ExclusiveFile file;
        const int error = file.Create(directory / chunkName);
        if (error == EEXIST) {
            detail = what +
                     " already exists: another copy of Quenta Code Updater is extracting "
                     "there, or an earlier update stopped. When no other copy runs, delete "
                     "the Loader.* and Code.* chunk files and try again.";
            return false;
        }
        if (error != 0) {
            detail = "cannot create " + what + ": " + ErrorText(error) +
                     ". Run the program from a folder you may write to.";
            return false;
        }
        made.push_back(directory / chunkName);
        if (!CopyStream(*in, file, what, detail))
            return false;
        if (!file.Close()) {
            detail = "cannot write " + what + ": " + ErrorText(file.Error()) +
                     ". Free space there and try again.";
            return false;
        }
    }
    return true;
}

// After a failure nothing of this run stays behind: no chunk to block the next run with "already
// exists", no image that is not whole. Files of another run (a name that was taken) are not
// in the list and stay.
void RemoveMadeFiles(const MadeFiles& made) {
    for (const std::filesystem::path& path : made) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
}

void RemoveChunks(const std::string& baseName, std::uint32_t count,
                  const std::filesystem::path& directory) {
    for (std::uint32_t n = 1; n <= count; ++n) {
        std::error_code ignored;
        std::filesystem::remove(directory / (baseName + "." + std::to_string(n)), ignored);
    }
}

}  // namespace

bool ReadPackageAttributes(const PackageResources& package, ResourceAttributes& out) {
    out = ResourceAttributes{};
    const std::unique_ptr<std::istream> in = package.Open(kAttributesResourceName);
    if (!in)
        return false;
    std::array<std::uint8_t, ResourceAttributes::kBytes> bytes{};
    in->read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return ParseAttributes(bytes.data(), static_cast<std::size_t>(in->gcount()), out);
}

std::string JoinChunkFiles(const std::filesystem::path& directory, const std::string& baseName,
                           std::uint32_t count, const std::string& extension, bool& ok) {
    std::string detail;
    return JoinChunks(directory, baseName, count, extension, ok, detail);
}

ExtractedImages ExtractEmbeddedFiles(const PackageResources& package,
                                     const ResourceAttributes& attributes, bool useBootTwo,
                                     bool bootSet, const std::filesystem::path& directory) {
    const ImageSet set = useBootTwo ? ImageSet::kBootTwo
                         : bootSet  ? ImageSet::kBoot
                                    : ImageSet::kApplication;
    const std::uint32_t loaderCount = ChunkCount(attributes, set, ImageRole::kLoader);
    const std::uint32_t codeCount = ChunkCount(attributes, set, ImageRole::kCode);

    ExtractedImages result;
    MadeFiles made;
    bool joined = false;
    if (WriteChunks(package, set, ImageRole::kLoader, loaderCount, directory, result.detail,
                    made)) {
        const std::string name =
            JoinChunks(directory, "Loader", loaderCount, "hex", joined, result.detail, &made);
        if (joined)
            result.loaderFileName = name;
    }
    if (!joined) {
        RemoveMadeFiles(made);
        result.failure = ExtractFailure::kLoader;
        return result;
    }

    joined = false;
    if (WriteChunks(package, set, ImageRole::kCode, codeCount, directory, result.detail, made)) {
        const std::string extension = attributes.UpgradeType == kUpgradeDsp ? "OUT" : "hex";
        const std::string name =
            JoinChunks(directory, "Code", codeCount, extension, joined, result.detail, &made);
        if (joined)
            result.codeFileName = name;
    }
    if (!joined) {
        RemoveMadeFiles(made);
        result.failure = ExtractFailure::kCode;
        return result;
    }

    RemoveChunks("Loader", loaderCount, directory);
    RemoveChunks("Code", codeCount, directory);
    return result;
}
