#include "engine/PictureSink.h"

#include <algorithm>
#include <array>

namespace lumi {

namespace {
struct Signature {
    size_t offset;
    std::string_view bytes;
};
// A picture kind: the media types that name it and the bytes that open it. WebP is "RIFF",
// four bytes of size, "WEBP": two parts at their offsets.
struct PictureKind {
    std::array<std::string_view, 3> types;
    std::array<Signature, 2> signature;
};
constexpr std::array<PictureKind, 6> PictureKinds = {{
    {{"image/jpeg", "image/jpg", "image/pjpeg"}, {{{0, "\xFF\xD8\xFF"}, {0, ""}}}},
    {{"image/gif"}, {{{0, "GIF87a"}, {0, ""}}}},
    {{"image/gif"}, {{{0, "GIF89a"}, {0, ""}}}},
    {{"image/png"}, {{{0, "\x89PNG\r\n\x1A\n"}, {0, ""}}}},
    {{"image/bmp", "image/x-bmp", "image/x-ms-bmp"}, {{{0, "BM"}, {0, ""}}}},
    {{"image/webp"}, {{{0, "RIFF"}, {8, "WEBP"}}}},
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

// The media type without parameters and blanks.
std::string_view mediaType(std::string_view contentType) {
    contentType = contentType.substr(0, contentType.find(';'));
    while (!contentType.empty() && (contentType.back() == ' ' || contentType.back() == '\t'))
        contentType.remove_suffix(1);
    while (!contentType.empty() && (contentType.front() == ' ' || contentType.front() == '\t'))
        contentType.remove_prefix(1);
    return contentType;
}

bool namesKind(const PictureKind& kind, std::string_view type) {
    return !type.empty() && std::find(kind.types.begin(), kind.types.end(), type) != kind.types.end();
}
} // namespace

std::optional<bool> looksLikePicture(std::string_view head) {
    bool undecided = false;
    for (const PictureKind& kind : PictureKinds) {
        const std::optional<bool> m = matches(head, kind.signature);
        if (m == true) return true;
        if (!m) undecided = true;
    }
    if (undecided) return std::nullopt;
    return false;
}

std::string pictureDisagreement(std::string_view contentType, std::string_view head,
                                bool& undecided) {
    undecided = false;
    const std::string_view type = mediaType(contentType);
    const bool named = std::any_of(PictureKinds.begin(), PictureKinds.end(),
                                   [type](const PictureKind& k) { return namesKind(k, type); });
    const bool unspecific = type.empty() || type == "application/octet-stream" ||
                            type == "binary/octet-stream" || type.starts_with("image/");
    if (!named && !unspecific) return "Not a picture";
    bool matched = false;
    for (const PictureKind& kind : PictureKinds) {
        if (named && !namesKind(kind, type)) continue;
        const std::optional<bool> m = matches(head, kind.signature);
        matched = matched || m == true;
        undecided = undecided || !m;
    }
    if (matched) {
        undecided = false;
        return {};
    }
    if (undecided) return {};
    return named ? "Not the picture announced (" + std::string(type) + ")" : "Not a picture";
}

PictureSink::PictureSink(std::unique_ptr<PartFile> file, std::string contentType,
                         int64_t maxBytes, std::string tooLarge)
    : file_(std::move(file)), contentType_(std::move(contentType)), maxBytes_(maxBytes),
      tooLarge_(std::move(tooLarge)) {}

bool PictureSink::refuse(std::string why) {
    if (reason_.empty()) reason_ = std::move(why);
    file_->discard();
    return false;
}

bool PictureSink::take(const char* data, size_t size) {
    if (!reason_.empty()) return false;
    if (size == 0) return true;
    if (!checked_) {
        head_.append(data, std::min(size, PictureSignatureBytes - head_.size()));
        bool undecided = false;
        std::string disagreement = pictureDisagreement(contentType_, head_, undecided);
        if (!disagreement.empty()) return refuse(std::move(disagreement));
        checked_ = !undecided;
    }
    if (static_cast<int64_t>(size) > maxBytes_ - written_) return refuse(tooLarge_);
    if (!file_->write(data, size)) return refuse(file_->error());
    written_ += static_cast<int64_t>(size);
    return true;
}

std::string PictureSink::finish() {
    if (!reason_.empty()) return reason_;
    if (written_ == 0) refuse("Empty body");
    else if (!checked_) refuse("Not a picture");
    return reason_;
}

} // namespace lumi
