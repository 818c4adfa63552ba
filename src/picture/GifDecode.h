#pragma once
// GIF decoding through giflib: the first frame only, placed on the logical screen, with its
// transparent colour and its local colour table (the global one when it has none).
#include <cstddef>
#include <cstdint>

#include "picture/PictureDecode.h"

namespace lumi {

// A file that ends inside the first frame keeps the rows read so far (the rest stays
// transparent); one that ends before its first row, or has no frame at all, fails.
Picture decodeGif(const uint8_t* data, size_t size);

} // namespace lumi
