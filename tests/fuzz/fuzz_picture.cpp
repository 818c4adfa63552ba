// Feeds arbitrary bytes to the JPEG and GIF decoders, once fitted into the viewer's first
// panel size and once at full size: any input must decode or throw PictureError, within the
// pixel budget and without leaks.
#include <cstddef>
#include <cstdint>

#include "picture/GifDecode.h"
#include "picture/JpegDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (QSize area : {QSize(401, 313), QSize()}) {
        try {
            lumi::decodeJpeg(data, size, area);
        } catch (const lumi::PictureError&) {
        }
    }
    try {
        lumi::decodeGif(data, size);
    } catch (const lumi::PictureError&) {
    }
    return 0;
}
