// Feeds arbitrary bytes to the integer reader and the text operations.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/TextOps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int32_t value = 0;
    lumi::parseInteger(text, value);
    const auto half = text.substr(0, size / 2);
    lumi::textPos(half, text);
    lumi::textTrim(text);
    lumi::textFileExt(text);
    std::string copy = text;
    lumi::textDelete(copy, static_cast<int64_t>(size % 7) - 1, static_cast<int64_t>(size % 5) - 1);
    return 0;
}
