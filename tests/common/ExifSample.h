#pragma once
// A JPEG with an EXIF APP1 segment right after SOI, as cameras write it: IFD0 holds the
// orientation and, given a thumbnail, links to IFD1, which points at the thumbnail placed
// right after it. The offsets below (from the stream's start) let tests break one field.
#include <cstdint>
#include <utility>
#include <vector>

#include <QByteArray>

namespace lumi::test {

inline constexpr int ExifTiffAt = 12; // after SOI, APP1's marker and length, "Exif\0\0"
inline constexpr int ExifLinkAt = ExifTiffAt + 22;        // IFD0's link to IFD1
inline constexpr int ExifThumbOffsetAt = ExifTiffAt + 36; // IFD1's JPEGInterchangeFormat
inline constexpr int ExifThumbLengthAt = ExifTiffAt + 48;
inline constexpr int ExifThumbAt = ExifTiffAt + 56;

inline QByteArray withExif(const QByteArray& jpeg, int orientation, bool bigEndian,
                           const QByteArray& thumbnail = {}) {
    const bool linked = !thumbnail.isEmpty();
    // Magic, IFD0 at 8: one entry (tag, type 3, count 1, a 16-bit value padded), the link.
    std::vector<std::pair<uint32_t, int>> fields = {
        {42, 2}, {8, 4}, {1, 2}, {0x0112, 2}, {3, 2}, {1, 4}, {uint32_t(orientation), 2}, {0, 2},
        {linked ? 26u : 0u, 4}};
    // IFD1 at 26: offset and length (type 4), no further link; the thumbnail at 56.
    if (linked)
        fields.insert(fields.end(), {{2, 2}, {0x0201, 2}, {4, 2}, {1, 4}, {56, 4}, {0x0202, 2},
                                     {4, 2}, {1, 4}, {uint32_t(thumbnail.size()), 4}, {0, 4}});
    QByteArray exif("Exif\0\0", 6);
    exif.append(bigEndian ? "MM" : "II");
    for (const auto& [value, bytes] : fields)
        for (int i = 0; i < bytes; ++i)
            exif.append(char((value >> (8 * (bigEndian ? bytes - 1 - i : i))) & 0xFF));
    exif.append(thumbnail);
    const int length = int(exif.size()) + 2;
    return jpeg.left(2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + exif + jpeg.mid(2);
}

// value as four little-endian bytes at at.
inline void putLittle32(QByteArray& bytes, int at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

} // namespace lumi::test
