#pragma once
// Receives the body of one picture transfer into its PartFile: de-chunks a chunked answer,
// checks that the first bytes are a picture's, and keeps the first reason the body is
// refused. Owns the PartFile until the transfer ends.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/PartFile.h"
#include "net/ChunkedBody.h"

namespace lumi {

// Bytes enough to tell every picture kind that a transfer accepts.
inline constexpr size_t PictureSignatureBytes = 12;

// Whether head (the first bytes of a body, maybe fewer than PictureSignatureBytes) starts
// like a JPEG, GIF, PNG, BMP or WebP picture. Nothing while head is too short to tell.
std::optional<bool> looksLikePicture(std::string_view head);

class PictureSink {
public:
    // A body beyond maxBytes is refused with tooLarge.
    PictureSink(std::unique_ptr<PartFile> file, bool chunked, int64_t maxBytes,
                std::string tooLarge);

    // Takes one body block; false once the body is refused (reason() says why).
    bool take(const char* data, size_t size);
    // The reason the body cannot be a complete picture now that it has ended, or empty.
    std::string finish();
    const std::string& reason() const { return reason_; }
    // Decoded body bytes written.
    int64_t written() const { return written_; }
    PartFile& file() { return *file_; }

private:
    bool store(const char* data, size_t size);
    bool refuse(std::string why);

    std::unique_ptr<PartFile> file_;
    std::optional<ChunkedBody> chunks_;
    std::string head_;
    bool checked_ = false;
    int64_t written_ = 0;
    int64_t maxBytes_;
    std::string tooLarge_;
    std::string reason_;
};

} // namespace lumi
