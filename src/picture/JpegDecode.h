#pragma once
// JPEG decoding through libjpeg(-turbo). libjpeg reports fatal errors by calling back into
// its error manager, which here jumps out of the library instead of ending the process; the
// decoder then destroys its libjpeg state and throws PictureError.
#include <cstddef>
#include <cstdint>

#include "picture/PictureDecode.h"

namespace lumi {

// Gives up on corrupt data after this many warnings, and on progressive pictures after this
// many scans (a crafted file can carry thousands, each a pass over the whole picture).
inline constexpr long JpegWarningLimit = 100;
inline constexpr int JpegScanLimit = 500;
// The most a progressive (or multi-scan) picture's coefficients may take: 512 MB holds a
// full-colour picture of about 89 megapixels (twice as many with halved colour). Beyond it
// the picture is refused as too large to show rather than spilled to disk.
inline constexpr int64_t JpegCoefficientMemory = int64_t(512) << 20;
// libjpeg's working memory besides the coefficients.
inline constexpr int64_t JpegOtherMemory = int64_t(64) << 20;

// The eighths (1 to 8) at which a natural-size picture still covers wanted, both ways.
int jpegEighthsFor(QSize natural, QSize wanted);

// area as for decodePicture. The picture comes out upright by its EXIF orientation. A
// progressive picture decoded scaled down is read only up to the scans that scale uses (at
// an eighth of a 4:4:4 or grey picture, its DC scans).
Picture decodeJpeg(const uint8_t* data, size_t size, QSize area);

} // namespace lumi
