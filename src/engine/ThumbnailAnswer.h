#pragma once
// Where a grid thumbnail may come from, and what an answer must show before its bytes are
// taken for one: a type that its first bytes agree with, exactly the part of the picture that
// was asked for, and the validators with which the source is asked later whether it changed.
#include <cstdint>
#include <string>
#include <vector>

#include <QByteArray>

class THttpCli;

namespace lumi {

struct PictureSource;

// The part of a picture asked for its embedded thumbnail.
inline constexpr int64_t EmbeddedSpan = 64 * 1024;

struct ThumbnailSource {
    ThumbnailSource(std::string sourceAddress = {}, bool embeddedOnly = false)
        : address(std::move(sourceAddress)), embedded(embeddedOnly) {}
    std::string address;
    // Only the EXIF thumbnail inside the first EmbeddedSpan bytes of the picture at address.
    bool embedded;
    // What an earlier answer said of the source's version ("ETag", "Last-Modified"). When
    // set, the source is asked whether that changed (If-None-Match, If-Modified-Since).
    std::string etag, lastModified;
};

// Where a thumbnail of the picture at address may come from, in the order tried.
std::vector<ThumbnailSource> thumbnailSources(const std::string& address,
                                              const PictureSource& source);

// Why the answer that client got from source cannot give a thumbnail (body: what came of it,
// at least its first bytes), or empty. Its type must name a picture that its first bytes
// agree with (a type that names no kind, or none, only a picture's first bytes), and a 206
// must hold the start of the picture that was asked for.
std::string answerRefusal(const THttpCli& client, const ThumbnailSource& source,
                          const QByteArray& body);

// The header lines that ask source only whether it changed; none when it has no validators.
std::vector<std::string> conditionalLines(const ThumbnailSource& source);

// source with the validators of the answer client got from it (an answer without any keeps
// those it was asked with, as a 304 may).
ThumbnailSource answeredSource(const THttpCli& client, const ThumbnailSource& source);

// The size of the whole file the answer came from: a 206's Content-Range total, else its
// Content-Length; -1 when it did not say.
int64_t announcedFileSize(const THttpCli& client);

} // namespace lumi
