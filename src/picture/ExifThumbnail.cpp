#include "picture/ExifThumbnail.h"

#include <cstring>

#include "picture/ExifBlock.h"

namespace lumi {

namespace {

constexpr uint16_t ThumbnailOffsetTag = 0x0201; // JPEGInterchangeFormat
constexpr uint16_t ThumbnailLengthTag = 0x0202; // JPEGInterchangeFormatLength
constexpr uint8_t App1 = 0xE1;

bool beforeFrames(uint8_t marker) {
    return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE; // APPn, COM
}

using Status = EmbeddedThumbnail::Status;

EmbeddedThumbnail inExifBlock(const uint8_t* data, size_t size, size_t start) {
    EmbeddedThumbnail found;
    found.orientation = exifOrientation(data, size);
    const ExifBlock block(data, size);
    uint32_t directory = 0, offset = 0, length = 0;
    if (!block.directory(1, directory) || !block.number(directory, ThumbnailOffsetTag, offset) ||
        !block.number(directory, ThumbnailLengthTag, length))
        return found;
    // A thumbnail is a whole JPEG stream (start and end markers) inside the block.
    if (length < 4 || offset > block.tiffSize() || block.tiffSize() - offset < length) return found;
    const uint8_t* thumbnail = block.tiff() + offset;
    if (thumbnail[0] != 0xFF || thumbnail[1] != 0xD8) return found;
    found.status = Status::Found;
    found.offset = start + size_t(block.tiff() - data) + offset;
    found.size = length;
    return found;
}

} // namespace

EmbeddedThumbnail embeddedThumbnail(const uint8_t* data, size_t size) {
    const EmbeddedThumbnail needsMore{Status::NeedsMore};
    if (size < 2) return needsMore;
    if (data[0] != 0xFF || data[1] != 0xD8) return {};
    size_t at = 2;
    for (;;) {
        if (size - at < 4) return needsMore;
        if (data[at] != 0xFF) return {};
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        if (!beforeFrames(marker)) return {};
        const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2) return {};
        const size_t end = at + 2 + length;
        if (marker == App1 && length >= 8 && size - at >= 10 &&
            std::memcmp(data + at + 4, "Exif\0\0", 6) == 0) {
            if (end > size) return needsMore;
            return inExifBlock(data + at + 4, length - 2, at + 4);
        }
        if (end >= size) return needsMore;
        at = end;
    }
}

} // namespace lumi
