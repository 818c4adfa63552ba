#pragma once
// The small JPEG a camera embeds in a picture's EXIF block (IFD1's JPEGInterchangeFormat and
// its length), found in the first bytes of the picture's stream: a grid cell can show it
// after reading a few kilobytes instead of the whole picture.
#include <cstddef>
#include <cstdint>

namespace lumi {

struct EmbeddedThumbnail {
    enum class Status {
        Found,     // offset and size locate the thumbnail's JPEG inside the data
        Absent,    // the stream holds none (or not where a reader looks)
        NeedsMore, // the data ends before the answer: more of the stream would tell
    };
    Status status = Status::Absent;
    size_t offset = 0;
    size_t size = 0;
    int orientation = 1; // the picture's, which its thumbnail shares
};

// Reads the start of a JPEG stream: the markers before the first frame, the first EXIF APP1
// segment among them, and in it IFD1. Reads only inside data.
EmbeddedThumbnail embeddedThumbnail(const uint8_t* data, size_t size);

} // namespace lumi
