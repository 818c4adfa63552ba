#pragma once
// The EXIF block of a JPEG's APP1 segment: "Exif\0\0", then a TIFF structure of numbered
// directories (IFD0 for the picture, IFD1 for its embedded thumbnail). Every read stays
// inside the block; a broken block reads as one without the asked-for entry. No Qt, so the
// engine's fetches read it too.
#include <cstddef>
#include <cstdint>

namespace lumi {

class ExifBlock {
public:
    // An unreadable header leaves the block without directories.
    ExifBlock(const uint8_t* data, size_t size);

    bool valid() const { return tiff_ != nullptr; }
    // The TIFF structure's offsets count from here.
    const uint8_t* tiff() const { return tiff_; }
    size_t tiffSize() const { return tiffSize_; }

    // The offset of directory number index (0 or 1); false when there is none.
    bool directory(int index, uint32_t& offset) const;
    // The first value (a SHORT or a LONG) of tag in the directory at offset.
    bool number(uint32_t directory, uint16_t tag, uint32_t& value) const;

private:
    bool read16(size_t at, uint16_t& value) const;
    bool read32(size_t at, uint32_t& value) const;

    const uint8_t* tiff_ = nullptr;
    size_t tiffSize_ = 0;
    bool bigEndian_ = false;
};

// The EXIF orientation (1 to 8) in an APP1 segment's data (starting "Exif\0\0"); 1 (as
// stored) for anything else, a missing tag or a value out of range.
int exifOrientation(const uint8_t* data, size_t size);

} // namespace lumi
