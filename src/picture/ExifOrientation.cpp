#include "picture/ExifOrientation.h"

#include <cstring>

#include <QTransform>

namespace lumi {

namespace {

constexpr uint16_t OrientationTag = 0x0112;
constexpr uint16_t ShortType = 3;
constexpr size_t ExifHeader = 6; // "Exif\0\0"

// The TIFF block's numbers in its own byte order, read only within its bounds.
class TiffReader {
public:
    TiffReader(const uint8_t* data, size_t size, bool bigEndian)
        : data_(data), size_(size), bigEndian_(bigEndian) {}
    bool read16(size_t at, uint16_t& value) const {
        if (at > size_ || size_ - at < 2) return false;
        value = bigEndian_ ? uint16_t(data_[at] << 8 | data_[at + 1])
                           : uint16_t(data_[at + 1] << 8 | data_[at]);
        return true;
    }
    bool read32(size_t at, uint32_t& value) const {
        uint16_t first = 0, second = 0;
        if (!read16(at, first) || !read16(at + 2, second)) return false;
        value = bigEndian_ ? uint32_t(first) << 16 | second : uint32_t(second) << 16 | first;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool bigEndian_;
};

} // namespace

int exifOrientation(const uint8_t* data, size_t size) {
    if (size < ExifHeader + 8 || std::memcmp(data, "Exif\0\0", ExifHeader) != 0) return 1;
    const uint8_t* tiff = data + ExifHeader;
    const size_t tiffSize = size - ExifHeader;
    const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
    const TiffReader reader(tiff, tiffSize, bigEndian);
    uint16_t magic = 0, entries = 0;
    uint32_t firstDirectory = 0;
    if (!reader.read16(2, magic) || magic != 42 || !reader.read32(4, firstDirectory) ||
        !reader.read16(firstDirectory, entries))
        return 1;
    // Each entry: tag, type, count (16, 16, 32 bits) and a value that fits in 32 bits.
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t(firstDirectory) + 2 + size_t(i) * 12;
        uint16_t tag = 0, type = 0, value = 0;
        if (!reader.read16(entry, tag) || !reader.read16(entry + 2, type)) return 1;
        if (tag != OrientationTag) continue;
        if (type != ShortType || !reader.read16(entry + 8, value)) return 1;
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

bool swapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

QSize orientedSize(QSize stored, int orientation) {
    return swapsSides(orientation) ? stored.transposed() : stored;
}

QImage orientImage(const QImage& stored, int orientation) {
    // Each orientation as a quarter turn clockwise (or none), then mirroring left-right
    // and top-bottom: 3 is a half turn, 5 the transpose, 8 three quarters.
    struct Steps {
        bool quarter, horizontal, vertical;
    };
    static constexpr Steps steps[] = {
        {false, false, false}, {false, false, false}, {false, true, false},
        {false, true, true},   {false, false, true},  {true, true, false},
        {true, false, false},  {true, false, true},   {true, true, true},
    };
    const Steps& step = steps[orientation >= 1 && orientation <= 8 ? orientation : 1];
    QImage image = step.quarter ? stored.transformed(QTransform().rotate(90)) : stored;
    if (step.horizontal || step.vertical) image = image.mirrored(step.horizontal, step.vertical);
    return image;
}

} // namespace lumi
