#pragma once
// The orientation a camera records in a JPEG's EXIF block (APP1), and turning the decoded
// pixels upright by it, as browsers and photo viewers show such pictures.
#include <QImage>
#include <QSize>

#include "picture/ExifBlock.h"

namespace lumi {

// Orientations 5 to 8 turn the picture a quarter: its width and height trade places.
bool swapsSides(int orientation);
QSize orientedSize(QSize stored, int orientation);

// The stored pixels turned and mirrored so that the picture stands as the camera saw it.
QImage orientImage(const QImage& stored, int orientation);

} // namespace lumi
