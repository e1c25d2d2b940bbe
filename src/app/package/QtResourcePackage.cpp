#include "app/package/QtResourcePackage.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <array>
#include <streambuf>

namespace {

constexpr std::size_t kReadBlockBytes = 1024;

// An input stream buffer over an open QFile.
class QFileStreamBuf : public std::streambuf {
  public:
    explicit QFileStreamBuf(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

  protected:
    int_type underflow() override {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        const qint64 got = file_->read(buffer_.data(), static_cast<qint64>(buffer_.size()));
        if (got <= 0)
            return traits_type::eof();
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(*gptr());
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                     std::ios_base::openmode) override {
        const qint64 current = file_->pos() - (egptr() - gptr());
        const qint64 base = way == std::ios_base::beg   ? 0
                            : way == std::ios_base::cur ? current
                                                        : file_->size();
        return seekpos(pos_type(base + offset), std::ios_base::in);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode) override {
        const qint64 to = static_cast<qint64>(position);
        if (to < 0 || to > file_->size() || !file_->seek(to))
            return pos_type(off_type(-1));
        setg(buffer_.data(), buffer_.data(), buffer_.data());
        return position;
    }

  private:
    std::unique_ptr<QFile> file_;
    std::array<char, kReadBlockBytes> buffer_{};
};

class QFileStream : public std::istream {
  public:
    explicit QFileStream(std::unique_ptr<QFile> file)
        : std::istream(nullptr), buf_(std::move(file)) {
        rdbuf(&buf_);
    }

  private:
    QFileStreamBuf buf_;
};

class QtResourcePackage : public PackageResources {
  public:
    explicit QtResourcePackage(const QString& folder) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            const QString key = name.toLower();
            // An exact name is found directly; among names that differ only in case the
            // first in name order answers.
            if (!byLowerName_.contains(key))
                byLowerName_.insert(key, dir.filePath(name));
        }
        folder_ = folder;
    }

    std::unique_ptr<std::istream> Open(const std::string& name) const override {
        const QString wanted = QString::fromStdString(name);
        QString path = folder_ + "/" + wanted;
        if (!QFile::exists(path)) {
            const auto it = byLowerName_.constFind(wanted.toLower());
            if (it == byLowerName_.constEnd())
                return nullptr;
            path = it.value();
        }
        auto file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::ReadOnly))
            return nullptr;
        return std::make_unique<QFileStream>(std::move(file));
    }

  private:
    QString folder_;
    QHash<QString, QString> byLowerName_;
};

}  // namespace

std::unique_ptr<PackageResources> MakeQtResourcePackage(const std::string& folder) {
    return std::make_unique<QtResourcePackage>(QString::fromStdString(folder));
}
