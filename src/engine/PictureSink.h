#pragma once
// Receives the body of one picture transfer into its PartFile: checks that the first bytes
// are a picture's, of the kind the answer's Content-Type names, and keeps the first reason
// the body is refused. Owns the PartFile until the transfer ends.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/PartFile.h"

namespace lumi {

// Bytes enough to tell every picture kind that a transfer accepts.
inline constexpr size_t PictureSignatureBytes = 12;

// Whether head (the first bytes of a body, maybe fewer than PictureSignatureBytes) starts
// like a JPEG, GIF, PNG, BMP or WebP picture. Nothing while head is too short to tell.
std::optional<bool> looksLikePicture(std::string_view head);

// Why head cannot be the body of an answer of contentType (lower-cased, parameters allowed):
// a type that names no picture, or a picture kind whose signature head does not start with.
// Empty when it agrees, and while head is too short to tell (then `undecided` is set). No
// type, or an unspecific one (application/octet-stream, an image kind not known here), lets
// the signature alone decide.
std::string pictureDisagreement(std::string_view contentType, std::string_view head,
                                bool& undecided);

class PictureSink {
public:
    // A body beyond maxBytes is refused with tooLarge; contentType is the answer's.
    PictureSink(std::unique_ptr<PartFile> file, std::string contentType, int64_t maxBytes,
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
    bool refuse(std::string why);

    std::unique_ptr<PartFile> file_;
    std::string contentType_;
    std::string head_;
    bool checked_ = false;
    int64_t written_ = 0;
    int64_t maxBytes_;
    std::string tooLarge_;
    std::string reason_;
};

} // namespace lumi
