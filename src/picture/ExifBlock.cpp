#include "picture/ExifBlock.h"

#include <cstring>

namespace lumi {

namespace {
constexpr size_t ExifHeader = 6; // "Exif\0\0"
constexpr size_t EntrySize = 12; // tag, type, count (16, 16, 32 bits), a 32-bit value
constexpr uint16_t ShortType = 3;
constexpr uint16_t LongType = 4;
constexpr uint16_t OrientationTag = 0x0112;
} // namespace

ExifBlock::ExifBlock(const uint8_t* data, size_t size) {
    if (size < ExifHeader + 8 || std::memcmp(data, "Exif\0\0", ExifHeader) != 0) return;
    const uint8_t* tiff = data + ExifHeader;
    bigEndian_ = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian_ && !(tiff[0] == 'I' && tiff[1] == 'I')) return;
    tiff_ = tiff;
    tiffSize_ = size - ExifHeader;
    uint16_t magic = 0;
    if (!read16(2, magic) || magic != 42) tiff_ = nullptr;
}

bool ExifBlock::read16(size_t at, uint16_t& value) const {
    if (!tiff_ || at > tiffSize_ || tiffSize_ - at < 2) return false;
    value = bigEndian_ ? uint16_t(tiff_[at] << 8 | tiff_[at + 1])
                       : uint16_t(tiff_[at + 1] << 8 | tiff_[at]);
    return true;
}

bool ExifBlock::read32(size_t at, uint32_t& value) const {
    uint16_t first = 0, second = 0;
    if (!read16(at, first) || !read16(at + 2, second)) return false;
    value = bigEndian_ ? uint32_t(first) << 16 | second : uint32_t(second) << 16 | first;
    return true;
}

// Directories are chained: each ends with the offset of the next one (0 for none). Only
// the first two are ever asked for, so a chain that loops costs nothing.
bool ExifBlock::directory(int index, uint32_t& offset) const {
    if (!read32(4, offset)) return false;
    for (int i = 0; i < index; ++i) {
        uint16_t entries = 0;
        if (!read16(offset, entries) ||
            !read32(size_t(offset) + 2 + size_t(entries) * EntrySize, offset))
            return false;
    }
    return offset != 0 && offset < tiffSize_;
}

bool ExifBlock::number(uint32_t directory, uint16_t tag, uint32_t& value) const {
    uint16_t entries = 0;
    if (!read16(directory, entries)) return false;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t(directory) + 2 + size_t(i) * EntrySize;
        uint16_t entryTag = 0, type = 0;
        if (!read16(entry, entryTag) || !read16(entry + 2, type)) return false;
        if (entryTag != tag) continue;
        if (type == ShortType) {
            uint16_t shortValue = 0;
            if (!read16(entry + 8, shortValue)) return false;
            value = shortValue;
            return true;
        }
        return type == LongType && read32(entry + 8, value);
    }
    return false;
}

int exifOrientation(const uint8_t* data, size_t size) {
    const ExifBlock block(data, size);
    uint32_t first = 0, value = 0;
    if (!block.directory(0, first) || !block.number(first, OrientationTag, value)) return 1;
    return value >= 1 && value <= 8 ? int(value) : 1;
}

} // namespace lumi
