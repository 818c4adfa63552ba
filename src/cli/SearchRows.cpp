#include "cli/SearchRows.h"

#include <cstdio>

#include <QFile>
#include <QFileDevice>

#include "engine/RowRecord.h"
#include "engine/SearchEngine.h"

namespace lumi::cli {

namespace {

// A row is a few hundred bytes; this bounds what a hostile or mistaken input can make kept.
constexpr qint64 MaxRowBytes = 64 * 1024;

} // namespace

bool readSearchRows(const std::string& path, SearchRows& rows, std::string& problem) {
    QFile file;
    const bool opened = path == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                    : (file.setFileName(QString::fromLocal8Bit(path.c_str())),
                                       file.open(QIODevice::ReadOnly));
    const std::string name = path == "-" ? std::string("standard input") : path;
    if (!opened) {
        problem = "cannot read " + name + ": " + file.errorString().toStdString();
        return false;
    }
    for (size_t number = 1;; ++number) {
        // Only the end of the input or a read error gives nothing; a blank line gives "\n".
        const QByteArray raw = file.readLine(MaxRowBytes);
        if (raw.isEmpty()) {
            if (file.error() == QFileDevice::NoError) return true;
            problem = "cannot read " + name + ": " + file.errorString().toStdString();
            return false;
        }
        // readLine stops one byte short of its bound: a longer row is not cut into two.
        if (!raw.endsWith('\n') && raw.size() >= MaxRowBytes - 1 && !file.atEnd()) {
            problem = name + ": line " + std::to_string(number) + " is longer than 64 KB";
            return false;
        }
        const QByteArray line = raw.trimmed();
        if (line.isEmpty()) continue;
        std::string url;
        PictureSource source;
        if (!rowFromJsonLine(std::string_view(line.constData(), static_cast<size_t>(line.size())),
                             url, source)) {
            problem = name + ", line " + std::to_string(number) +
                      ": not a row of \"search --format jsonl\"";
            return false;
        }
        if (rows.sources.count(url)) continue;
        if (rows.urls.size() >= SearchEngine::MaxFoundRows) {
            problem = name + ": more rows than a search lists (" +
                      std::to_string(SearchEngine::MaxFoundRows) + ")";
            return false;
        }
        rows.urls.push_back(url);
        rows.sources.emplace(url, std::move(source));
    }
}

} // namespace lumi::cli
