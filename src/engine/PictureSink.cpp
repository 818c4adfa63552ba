#include "engine/PictureSink.h"

#include <algorithm>
#include <array>

namespace lumi {

namespace {
struct Signature {
    size_t offset;
    std::string_view bytes;
};
// WebP is "RIFF", four bytes of size, "WEBP": two parts at their offsets.
constexpr std::array<std::array<Signature, 2>, 6> PictureSignatures = {{
    {{{0, "\xFF\xD8\xFF"}, {0, ""}}},
    {{{0, "GIF87a"}, {0, ""}}},
    {{{0, "GIF89a"}, {0, ""}}},
    {{{0, "\x89PNG\r\n\x1A\n"}, {0, ""}}},
    {{{0, "BM"}, {0, ""}}},
    {{{0, "RIFF"}, {8, "WEBP"}}},
}};

// Whether head matches sig so far: true, false, or nothing while too short to tell.
std::optional<bool> matches(std::string_view head, const std::array<Signature, 2>& sig) {
    for (const Signature& part : sig) {
        const size_t have = head.size() > part.offset ? head.size() - part.offset : 0;
        const size_t n = std::min(have, part.bytes.size());
        if (head.substr(std::min(part.offset, head.size()), n) != part.bytes.substr(0, n))
            return false;
        if (n < part.bytes.size()) return std::nullopt;
    }
    return true;
}
} // namespace

std::optional<bool> looksLikePicture(std::string_view head) {
    bool undecided = false;
    for (const auto& sig : PictureSignatures) {
        const std::optional<bool> m = matches(head, sig);
        if (m == true) return true;
        if (!m) undecided = true;
    }
    if (undecided) return std::nullopt;
    return false;
}

PictureSink::PictureSink(std::unique_ptr<PartFile> file, bool chunked, int64_t maxBytes,
                         std::string tooLarge)
    : file_(std::move(file)), maxBytes_(maxBytes), tooLarge_(std::move(tooLarge)) {
    if (chunked) chunks_.emplace();
}

bool PictureSink::refuse(std::string why) {
    if (reason_.empty()) reason_ = std::move(why);
    file_->discard();
    return false;
}

bool PictureSink::store(const char* data, size_t size) {
    if (!checked_) {
        head_.append(data, std::min(size, PictureSignatureBytes - head_.size()));
        const std::optional<bool> picture = looksLikePicture(head_);
        if (picture == false) return refuse("Not a picture");
        checked_ = picture.has_value();
    }
    if (static_cast<int64_t>(size) > maxBytes_ - written_) return refuse(tooLarge_);
    if (!file_->write(data, size)) return refuse(file_->error());
    written_ += static_cast<int64_t>(size);
    return true;
}

bool PictureSink::take(const char* data, size_t size) {
    if (!reason_.empty()) return false;
    if (size == 0) return true;
    if (!chunks_) return store(data, size);
    if (chunks_->feed(std::string_view(data, size),
                      [this](const char* d, size_t n) { return store(d, n); }))
        return true;
    return refuse(chunks_->error());
}

std::string PictureSink::finish() {
    if (!reason_.empty()) return reason_;
    if (chunks_ && !chunks_->complete()) refuse("Broken chunked body: cut short");
    else if (written_ == 0) refuse("Empty body");
    else if (!checked_) refuse("Not a picture");
    return reason_;
}

} // namespace lumi
