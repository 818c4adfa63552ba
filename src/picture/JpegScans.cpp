#include "picture/JpegScans.h"

#include <cstring>

namespace lumi {

namespace {

constexpr uint8_t StartOfImage = 0xD8;
constexpr uint8_t EndOfImage = 0xD9;
constexpr uint8_t StartOfScan = 0xDA;

bool isRestart(uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// The end of a scan's entropy-coded data: the next marker that is neither a stuffed 0xFF
// byte nor a restart marker.
size_t endOfScanData(const uint8_t* data, size_t size, size_t at) {
    while (at < size) {
        const void* found = std::memchr(data + at, 0xFF, size - at);
        if (!found) return size;
        at = size_t(static_cast<const uint8_t*>(found) - data);
        if (at + 1 >= size) return size;
        const uint8_t next = data[at + 1];
        if (next != 0 && next != 0xFF && !isRestart(next)) return at;
        at += next == 0xFF ? 1 : 2;
    }
    return size;
}

} // namespace

std::vector<uint8_t> jpegDcScansOnly(const uint8_t* data, size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != StartOfImage) return {};
    std::vector<uint8_t> kept(data, data + 2);
    size_t at = 2;
    while (at + 1 < size) {
        if (data[at] != 0xFF) return {};
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == EndOfImage) break;
        if (at + 4 > size) return {};
        const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || length > size - at - 2) return {};
        size_t end = at + 2 + length;
        bool keep = true;
        if (marker == StartOfScan) {
            // Ss, the scan's first coefficient, follows the count and the component selectors.
            const size_t first = at + 5 + 2 * size_t(data[at + 4]);
            if (first >= end) return {};
            keep = data[first] == 0;
            end = endOfScanData(data, size, end);
        }
        if (keep) kept.insert(kept.end(), data + at, data + end);
        at = end;
    }
    kept.push_back(0xFF);
    kept.push_back(EndOfImage);
    return kept;
}

} // namespace lumi
