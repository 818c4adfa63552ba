#pragma once
// A progressive JPEG stream reduced to its DC scans: every segment outside the scans is kept,
// every scan of AC coefficients left out. Decoded at an eighth of a picture whose components
// all share one size, it gives the same pixels as the whole stream, without the cost of
// decoding what that scale never uses.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumi {

// The reduced stream, ending in EOI; empty when data does not read as a JPEG stream up to
// its end (the caller then decodes data as it is).
std::vector<uint8_t> jpegDcScansOnly(const uint8_t* data, size_t size);

} // namespace lumi
