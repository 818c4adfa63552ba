#pragma once
// The receive side of a page fetch: a byte buffer that keeps at most a fixed number of
// bytes (a hostile server cannot fill memory within the fetch's time limit), and the
// splitting of a received body into text lines.
#include <cstdint>
#include <string>
#include <string_view>

#include <QIODevice>

#include "analysis/PageRouting.h"

namespace lumi {

// Most bytes of one page kept for analysis; the rest of the body is read and dropped.
constexpr int64_t MaxPageBytes = 8 * 1024 * 1024;

// A write-only QIODevice that keeps the first `capacity` bytes written to it and accepts
// (and drops) the rest, so the writer never sees a failed write.
class CappedBuffer : public QIODevice {
    Q_OBJECT
public:
    explicit CappedBuffer(int64_t capacity = MaxPageBytes, QObject* parent = nullptr);

    const std::string& bytes() const { return bytes_; }
    int64_t droppedBytes() const { return dropped_; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    int64_t capacity_;
    int64_t dropped_ = 0;
    std::string bytes_;
};

// Appends the lines of a received body: CR LF, a lone CR or a lone LF ends a line (so an
// empty line between two line ends is an empty entry); the text after the last break is a
// line when not empty; each line ends at its first NUL byte.
void appendTextLines(PageLines& lines, std::string_view buffer);

} // namespace lumi

// appendTextLines under the catch-all of the page fetch.
void LoadMemoFromMemoryStream(lumi::PageLines& lines, std::string_view buffer);
