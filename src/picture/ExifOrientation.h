#pragma once
// The orientation a camera records in a JPEG's EXIF block (APP1), and turning the decoded
// pixels upright by it, as browsers and photo viewers show such pictures.
#include <cstddef>
#include <cstdint>

#include <QImage>
#include <QSize>

namespace lumi {

// The EXIF orientation (1 to 8) in an APP1 segment's data (starting "Exif\0\0"); 1 (as
// stored) for anything else, a missing tag or a value out of range. Reads only inside data.
int exifOrientation(const uint8_t* data, size_t size);

// Orientations 5 to 8 turn the picture a quarter: its width and height trade places.
bool swapsSides(int orientation);
QSize orientedSize(QSize stored, int orientation);

// The stored pixels turned and mirrored so that the picture stands as the camera saw it.
QImage orientImage(const QImage& stored, int orientation);

} // namespace lumi
