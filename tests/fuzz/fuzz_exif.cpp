// Arbitrary bytes as the start of a JPEG stream and as an APP1 segment's data: the EXIF
// readers stay inside them (the sanitizers see any read outside), and what they answer
// holds: a found thumbnail lies inside the bytes and starts as a JPEG, an orientation is
// one of the eight.
#include <cstddef>
#include <cstdint>

#include "picture/ExifBlock.h"
#include "picture/ExifThumbnail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const lumi::EmbeddedThumbnail found = lumi::embeddedThumbnail(data, size);
    if (found.status == lumi::EmbeddedThumbnail::Status::Found &&
        (found.offset > size || size - found.offset < found.size || found.size < 4 ||
         data[found.offset] != 0xFF || data[found.offset + 1] != 0xD8))
        __builtin_trap();
    if (found.orientation < 1 || found.orientation > 8) __builtin_trap();
    const int orientation = lumi::exifOrientation(data, size);
    if (orientation < 1 || orientation > 8) __builtin_trap();
    return 0;
}
