#include "engine/PageBuffer.h"

#include <algorithm>
#include <cstring>

#include "base/ErrorReport.h"

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
    // The next CR and LF are each found once and kept until passed, so a page of only CRs or
    // only LFs is still split in one pass.
    const size_t size = buffer.size();
    auto nextOf = [&](char c, size_t from) {
        if (from >= size) return size; // an empty view may have no data pointer at all
        const void* hit = std::memchr(buffer.data() + from, c, size - from);
        return hit ? static_cast<size_t>(static_cast<const char*>(hit) - buffer.data()) : size;
    };
    size_t start = 0;
    size_t cr = nextOf('\r', 0), lf = nextOf('\n', 0);
    while (start < size) {
        if (cr < start) cr = nextOf('\r', start);
        if (lf < start) lf = nextOf('\n', start);
        const size_t end = std::min(cr, lf);
        if (end == size) break;
        addLine(buffer.substr(start, end - start));
        start = end + ((end == cr && end + 1 < size && buffer[end + 1] == '\n') ? 2 : 1);
    }
    if (start < size) addLine(buffer.substr(start));
}

} // namespace lumi

void LoadMemoFromMemoryStream(lumi::PageLines& lines, std::string_view buffer) {
    lumi::catchAll("error code : #0032 (LoadMemoFromMemoryStream)",
                   [&] { lumi::appendTextLines(lines, buffer); });
}
