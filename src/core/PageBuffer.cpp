#include "core/PageBuffer.h"

#include <algorithm>

#include "core/ErrorReport.h"

namespace lumi {

CappedBuffer::CappedBuffer(int64_t capacity, QObject* parent)
    : QIODevice(parent), capacity_(capacity) {
    open(QIODevice::WriteOnly);
}

qint64 CappedBuffer::readData(char*, qint64) {
    return -1;
}

qint64 CappedBuffer::writeData(const char* data, qint64 size) {
    if (size <= 0) return 0;
    const int64_t room = std::max<int64_t>(0, capacity_ - static_cast<int64_t>(bytes_.size()));
    const int64_t kept = std::min<int64_t>(room, size);
    bytes_.append(data, static_cast<size_t>(kept));
    dropped_ += size - kept;
    return size;
}

void appendTextLines(PageLines& lines, std::string_view buffer) {
    auto addLine = [&](std::string_view text) {
        lines.emplace_back(text.substr(0, text.find('\0')));
    };
    size_t start = 0;
    size_t i = 0;
    while (i < buffer.size()) {
        const char c = buffer[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        addLine(buffer.substr(start, i - start));
        i += (c == '\r' && i + 1 < buffer.size() && buffer[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < buffer.size()) addLine(buffer.substr(start));
}

} // namespace lumi

void LoadMemoFromMemoryStream(lumi::PageLines& lines, std::string_view buffer) {
    lumi::catchAll("error code : #0032 (LoadMemoFromMemoryStream)",
                   [&] { lumi::appendTextLines(lines, buffer); });
}
