#include "engine/ThumbnailAnswer.h"

#include <array>
#include <charconv>
#include <optional>
#include <string_view>

#include "analysis/SearchServices.h"
#include "base/TextOps.h"
#include "engine/PictureSink.h"
#include "net/HttpHeaderField.h"
#include "net/HttpProt.h"

namespace lumi {

std::vector<ThumbnailSource> thumbnailSources(const std::string& address,
                                              const PictureSource& source) {
    std::vector<ThumbnailSource> sources;
    if (!source.thumbnail.empty() && source.thumbnail != address)
        sources.emplace_back(source.thumbnail);
    sources.emplace_back(address, true);
    sources.emplace_back(address);
    return sources;
}

namespace {

// The picture kinds a type names, by the first bytes each starts with (WebP: "RIFF", four
// bytes of size, "WEBP").
struct PictureKind {
    std::string_view type, start, atEight;
};
constexpr std::array<PictureKind, 8> PictureKinds = {{
    {"image/jpeg", "\xFF\xD8\xFF", ""},
    {"image/jpg", "\xFF\xD8\xFF", ""},
    {"image/pjpeg", "\xFF\xD8\xFF", ""},
    {"image/gif", "GIF8", ""},
    {"image/png", "\x89PNG\r\n\x1A\n", ""},
    {"image/bmp", "BM", ""},
    {"image/x-ms-bmp", "BM", ""},
    {"image/webp", "RIFF", "WEBP"},
}};

// Types that name no kind: the first bytes alone tell.
constexpr std::array<std::string_view, 3> UntypedKinds = {"", "application/octet-stream",
                                                          "binary/octet-stream"};

// A header value kept with a thumbnail: nothing that could end a header line, and bounded.
constexpr size_t MostValidatorBytes = 512;

bool startsWith(const QByteArray& body, size_t at, std::string_view bytes) {
    return size_t(body.size()) >= at + bytes.size() &&
           std::string_view(body.constData() + at, bytes.size()) == bytes;
}

std::optional<int64_t> decimal(std::string_view text) {
    int64_t value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return {};
    return value;
}

// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*", then -1).
struct ContentRange {
    int64_t first = -1, last = -1, total = -1;
};
std::optional<ContentRange> contentRange(const THttpCli& client) {
    const std::string value = lastAnswerField(client.RcvdHeader(), "Content-Range");
    const std::string_view text(value);
    const size_t dash = text.find('-'), slash = text.find('/');
    if (!textSameAnyCase(text.substr(0, 6), "bytes ") || dash == std::string_view::npos ||
        slash == std::string_view::npos || dash > slash)
        return {};
    const auto first = decimal(text.substr(6, dash - 6));
    const auto last = decimal(text.substr(dash + 1, slash - dash - 1));
    const std::string_view totalText = text.substr(slash + 1);
    const auto total = totalText == "*" ? std::optional<int64_t>(-1) : decimal(totalText);
    if (!first || !last || !total || *last < *first) return {};
    return ContentRange{*first, *last, *total};
}

// Whether range is the start of the picture asked: the first EmbeddedSpan bytes, or all of
// a smaller picture.
bool askedPart(const ContentRange& range) {
    return range.first == 0 && range.last < EmbeddedSpan &&
           (range.last == EmbeddedSpan - 1 || range.total == range.last + 1);
}

bool fitsAHeaderLine(const std::string& value) {
    if (value.size() > MostValidatorBytes) return false;
    for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

} // namespace

std::string answerRefusal(const THttpCli& client, const ThumbnailSource& source,
                          const QByteArray& body) {
    if (client.StatusCode() == 206) {
        const std::optional<ContentRange> range = contentRange(client);
        if (!source.embedded || !range || !askedPart(*range))
            return "Not the part asked for: " +
                   lastAnswerField(client.RcvdHeader(), "Content-Range");
    }
    const std::string type = textTrim(client.ContentType().substr(0, client.ContentType().find(';')));
    for (const PictureKind& kind : PictureKinds)
        if (type == kind.type)
            return startsWith(body, 0, kind.start) && startsWith(body, 8, kind.atEight)
                       ? std::string()
                       : "Not the " + type + " announced";
    for (const std::string_view untyped : UntypedKinds)
        if (type == untyped)
            return looksLikePicture(std::string_view(body.constData(), size_t(body.size()))) == true
                       ? std::string()
                       : "Not a picture";
    return "Not a picture: " + type;
}

std::vector<std::string> conditionalLines(const ThumbnailSource& source) {
    std::vector<std::string> lines;
    if (!source.etag.empty()) lines.push_back("If-None-Match: " + source.etag);
    if (!source.lastModified.empty()) lines.push_back("If-Modified-Since: " + source.lastModified);
    return lines;
}

ThumbnailSource answeredSource(const THttpCli& client, const ThumbnailSource& source) {
    ThumbnailSource answered = source;
    const std::string etag = lastAnswerField(client.RcvdHeader(), "ETag");
    const std::string modified = lastAnswerField(client.RcvdHeader(), "Last-Modified");
    if (client.StatusCode() != 304 || !etag.empty() || !modified.empty()) {
        answered.etag = fitsAHeaderLine(etag) ? etag : std::string();
        answered.lastModified = fitsAHeaderLine(modified) ? modified : std::string();
    }
    return answered;
}

int64_t announcedFileSize(const THttpCli& client) {
    if (client.StatusCode() == 206) {
        const std::optional<ContentRange> range = contentRange(client);
        return range ? range->total : -1;
    }
    return client.ContentLength();
}

} // namespace lumi
