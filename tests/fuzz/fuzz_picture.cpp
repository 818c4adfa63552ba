// Feeds arbitrary bytes to the JPEG and GIF decoders with the limits the viewer decodes with
// (scan and warning limits, libjpeg's working memory, the pixel budget): any input must
// decode or throw PictureError, without leaks. JPEG goes in once for a tiny panel (the scaled
// paths: DC scans only, stopping early) and, when small enough, once at full size. Fitting a
// decoded picture into a panel is plain scaling and is left out, so the decoders get the time.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "picture/GifDecode.h"
#include "picture/JpegDecode.h"

namespace {

// Larger inputs only repeat what small ones reach, at a fraction of the speed.
constexpr size_t maxInputSize = 64 * 1024;
// A header of a few bytes may announce hundreds of megapixels, which the decoders then fill
// with grey for seconds; the budget checks on such sizes are the unit tests' job. Even for a
// tiny panel every announced pixel costs zeroed working memory (a progressive picture keeps
// all its coefficients), so a megapixel is where the cost stops buying new paths.
constexpr int64_t maxAnnouncedPixels = 1 << 20;
constexpr int64_t maxFullSizePixels = 512 * 512;

int bigEndian16(const uint8_t* p) { return (p[0] << 8) | p[1]; }
int littleEndian16(const uint8_t* p) { return p[0] | (p[1] << 8); }

// The most pixels that a GIF screen or any JPEG frame header (SOF0 to SOF15, less DHT, JPG
// and DAC) in the input announces.
int64_t announcedPixels(const uint8_t* data, size_t size) {
    int64_t most = 0;
    if (size >= 10 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F')
        most = int64_t(littleEndian16(data + 6)) * littleEndian16(data + 8);
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t marker = data[i + 1];
        if (data[i] != 0xFF || marker < 0xC0 || marker > 0xCF || marker == 0xC4 ||
            marker == 0xC8 || marker == 0xCC)
            continue;
        most = std::max(most, int64_t(bigEndian16(data + i + 5)) * bigEndian16(data + i + 7));
    }
    return most;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > maxInputSize) return 0;
    const int64_t announced = announcedPixels(data, size);
    if (announced > maxAnnouncedPixels) return 0;
    try {
        lumi::decodeJpeg(data, size, QSize(50, 30));
    } catch (const lumi::PictureError&) {
    }
    if (announced > maxFullSizePixels) return 0;
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
