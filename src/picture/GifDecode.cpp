#include "picture/GifDecode.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace lumi {

namespace {

struct GifInput {
    const uint8_t* data;
    size_t size;
    size_t read;
};

int readInput(GifFileType* gif, GifByteType* buffer, int length) {
    auto* input = static_cast<GifInput*>(gif->UserData);
    const size_t count =
        std::min(static_cast<size_t>(std::max(length, 0)), input->size - input->read);
    std::memcpy(buffer, input->data + input->read, count);
    input->read += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Reads an extension block and its sub-blocks; returns the transparent colour it names, or
// transparent unchanged when it is not a graphic control block.
int readExtension(GifFileType* gif, int transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        throw PictureError("corrupt GIF extension");
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock control{};
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
            transparent = control.TransparentColor;
    }
    while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
            throw PictureError("corrupt GIF extension");
    }
    return transparent;
}

// The order in which an interlaced frame delivers its rows: four passes.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    const int starts[] = {0, 4, 2, 1};
    const int steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass])
            rows.push_back(y);
    return rows;
}

Picture decodeFrame(GifFileType* gif, int transparent) {
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours || !colours->Colors) throw PictureError("GIF frame without colours");
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0)
        throw PictureError("GIF frame without pixels");
    // A frame reaching beyond the logical screen widens the picture rather than being cut.
    const int64_t width = std::max<int64_t>(gif->SWidth, int64_t(frame.Left) + frame.Width);
    const int64_t height = std::max<int64_t>(gif->SHeight, int64_t(frame.Top) + frame.Height);
    if (width * height > PicturePixelBudget) throw PictureError(TooLargeToShow);

    Picture picture{QImage(int(width), int(height), QImage::Format_ARGB32),
                    QSize(int(width), int(height))};
    if (picture.image.isNull()) throw PictureError("no memory for the GIF picture");
    picture.image.fill(Qt::transparent);
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    int rowsRead = 0;
    for (int y : rowOrder(frame.Height, frame.Interlace)) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) break;
        ++rowsRead;
        auto* out = reinterpret_cast<QRgb*>(picture.image.scanLine(frame.Top + y)) + frame.Left;
        for (int x = 0; x < frame.Width; ++x) {
            const int index = line[size_t(x)];
            if (index == transparent) continue;
            // An index past the colour table is drawn black.
            const GifColorType colour =
                index < colours->ColorCount ? colours->Colors[index] : GifColorType{0, 0, 0};
            out[x] = qRgb(colour.Red, colour.Green, colour.Blue);
        }
    }
    if (rowsRead == 0) throw PictureError("GIF frame without data");
    return picture;
}

} // namespace

Picture decodeGif(const uint8_t* data, size_t size) {
    GifInput input{data, size, 0};
    int error = 0;
    GifHandle gif(DGifOpen(&input, readInput, &error));
    if (!gif) throw PictureError("not a GIF picture");
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            throw PictureError("GIF picture ends before its first frame");
        switch (record) {
        case EXTENSION_RECORD_TYPE:
            transparent = readExtension(gif.get(), transparent);
            break;
        case IMAGE_DESC_RECORD_TYPE:
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) throw PictureError("corrupt GIF frame");
            return decodeFrame(gif.get(), transparent);
        case TERMINATE_RECORD_TYPE:
            throw PictureError("GIF picture without frames");
        default:
            throw PictureError("corrupt GIF record");
        }
    }
}

} // namespace lumi
