// Feeds arbitrary bytes to the JPEG and GIF decoders at full size, with the limits the viewer
// decodes with (scan and warning limits, libjpeg's working memory, the pixel budget): any
// input must decode or throw PictureError, without leaks. Fitting into a panel is plain
// scaling of a decoded picture and is left out so that the decoders get the time.
#include <cstddef>
#include <cstdint>

#include "picture/GifDecode.h"
#include "picture/JpegDecode.h"

namespace {

// Larger inputs only repeat what small ones reach, at a fraction of the speed.
constexpr size_t maxInputSize = 64 * 1024;
// A header of a few bytes may announce a picture of hundreds of megapixels, which the
// decoders then fill with grey for seconds; the budget checks on such sizes are the unit
// tests' job, so the fuzzer skips them and spends its time on the decoding paths.
constexpr int64_t maxAnnouncedPixels = 4 << 20;

int bigEndian16(const uint8_t* p) { return (p[0] << 8) | p[1]; }
int littleEndian16(const uint8_t* p) { return p[0] | (p[1] << 8); }

// True when some JPEG frame header (SOF0 to SOF15, less DHT, JPG and DAC) or the GIF screen
// announces more pixels than the fuzzer decodes.
bool announcesHugePicture(const uint8_t* data, size_t size) {
    if (size >= 10 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' &&
        int64_t(littleEndian16(data + 6)) * littleEndian16(data + 8) > maxAnnouncedPixels)
        return true;
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t marker = data[i + 1];
        if (data[i] != 0xFF || marker < 0xC0 || marker > 0xCF || marker == 0xC4 ||
            marker == 0xC8 || marker == 0xCC)
            continue;
        if (int64_t(bigEndian16(data + i + 5)) * bigEndian16(data + i + 7) > maxAnnouncedPixels)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > maxInputSize || announcesHugePicture(data, size)) return 0;
    try {
        lumi::decodeJpeg(data, size, QSize());
    } catch (const lumi::PictureError&) {
    }
    try {
        lumi::decodeGif(data, size);
    } catch (const lumi::PictureError&) {
    }
    return 0;
}
