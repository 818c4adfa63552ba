#include "engine/ThumbnailDiskCache.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "base/AppPaths.h"

namespace lumi {

namespace {
// A thumbnail file is never larger than this; anything bigger found there is not read.
constexpr qint64 EntryLimit = qint64(4) << 20;
} // namespace

ThumbnailDiskCache::ThumbnailDiskCache(std::string folder, int64_t maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

std::string ThumbnailDiskCache::entryName(const std::string& address) {
    return QCryptographicHash::hash(QByteArray::fromStdString(address), QCryptographicHash::Sha1)
               .toHex()
               .toStdString() +
           ".thumb";
}

std::vector<std::string> ThumbnailDiskCache::prune() const {
    QFileInfoList files = QDir(qtPath(folder_)).entryInfoList(QDir::Files | QDir::Hidden);
    // Newest first: they are kept while the bound allows.
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() > b.lastModified();
    });
    std::vector<std::string> kept;
    int64_t total = 0;
    for (const QFileInfo& file : files) {
        total += file.size();
        if (total > maxBytes_)
            QFile::remove(file.filePath());
        else
            kept.push_back(file.fileName().toStdString());
    }
    return kept;
}

QByteArray ThumbnailDiskCache::read(const std::string& address) const {
    QFile file(qtPath(folder_ + entryName(address)));
    if (file.size() > EntryLimit || !file.open(QIODevice::ReadOnly)) return {};
    return file.read(EntryLimit);
}

bool ThumbnailDiskCache::write(const std::string& address, const QByteArray& bytes) const {
    QDir().mkpath(qtPath(folder_));
    // Written whole or not at all, so a reader never meets half a file.
    QSaveFile file(qtPath(folder_ + entryName(address)));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

void ThumbnailDiskCache::drop(const std::string& address) const {
    QFile::remove(qtPath(folder_ + entryName(address)));
}

} // namespace lumi
