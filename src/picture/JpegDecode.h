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
// libjpeg's own working memory (a progressive picture's coefficients); beyond it the picture
// is refused rather than spilled to disk.
inline constexpr long JpegWorkMemory = 256L << 20;

// The eighths (1 to 8) at which a natural-size picture still covers wanted, both ways.
int jpegEighthsFor(QSize natural, QSize wanted);

Picture decodeJpeg(const uint8_t* data, size_t size, QSize area);

} // namespace lumi
