#include "picture/JpegDecode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "picture/PictureFit.h"

namespace lumi {

namespace {

// libjpeg hands its error manager back to these callbacks; it is the first member, so the
// pointer it passes is the pointer to the whole guard.
struct JpegGuard {
    jpeg_error_mgr manager;
    jpeg_progress_mgr progress;
    jmp_buf escape;
    long warnings;
};

JpegGuard& guardOf(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegGuard*>(cinfo->err);
}

// Replaces libjpeg's default, which prints and calls exit().
[[noreturn]] void leaveLibjpeg(j_common_ptr cinfo) {
    std::longjmp(guardOf(cinfo).escape, 1);
}

// Level -1 is a warning about corrupt data; libjpeg carries on, but only so often.
void countWarning(j_common_ptr cinfo, int level) {
    if (level < 0 && ++guardOf(cinfo).warnings > JpegWarningLimit) leaveLibjpeg(cinfo);
}

void limitScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > JpegScanLimit)
        leaveLibjpeg(cinfo);
}

using JpegStep = void (*)(j_decompress_ptr cinfo, void* context);

// The only place that catches libjpeg's jump. Neither this frame nor any step holds a C++
// object with a destructor, so the jump skips nothing that owns memory; libjpeg's own
// memory goes with jpeg_destroy_decompress.
[[gnu::noinline]] bool runGuarded(j_decompress_ptr cinfo, JpegStep step, void* context) {
    if (setjmp(guardOf(reinterpret_cast<j_common_ptr>(cinfo)).escape) != 0) return false;
    step(cinfo, context);
    return true;
}

struct Source {
    const uint8_t* data;
    size_t size;
};

// Even setting the source can fail (on empty input).
void setSource(j_decompress_ptr cinfo, void* context) {
    const auto* source = static_cast<const Source*>(context);
    jpeg_mem_src(cinfo, source->data, static_cast<unsigned long>(source->size));
}

void readHeader(j_decompress_ptr cinfo, void*) {
    jpeg_read_header(cinfo, TRUE);
}

void calcOutput(j_decompress_ptr cinfo, void*) {
    jpeg_calc_output_dimensions(cinfo);
}

struct RowTarget {
    unsigned char* bits;
    size_t stride;
};

void decodeRows(j_decompress_ptr cinfo, void* context) {
    const auto* target = static_cast<const RowTarget*>(context);
    jpeg_start_decompress(cinfo);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = target->bits + target->stride * cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &row, 1) == 0) {
            // Not expected from a memory source; the rows never written are blanked.
            std::memset(row, 0, target->stride * (cinfo->output_height - cinfo->output_scanline));
            break;
        }
    }
}

// Owns the decompressor from creation to destruction, on every path.
class Decompressor {
public:
    Decompressor() {
        cinfo_.err = jpeg_std_error(&guard_.manager);
        guard_.manager.error_exit = leaveLibjpeg;
        guard_.manager.emit_message = countWarning;
        guard_.warnings = 0;
        guard_.progress.progress_monitor = limitScans;
        if (!runGuarded(&cinfo_, createStep, nullptr))
            throw PictureError("libjpeg could not start");
        created_ = true;
        cinfo_.mem->max_memory_to_use = JpegWorkMemory;
        cinfo_.progress = &guard_.progress;
    }
    ~Decompressor() {
        if (created_) jpeg_destroy_decompress(&cinfo_);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    void run(JpegStep step, void* context, const char* what) {
        if (!runGuarded(&cinfo_, step, context)) throw PictureError(what);
    }
    jpeg_decompress_struct& cinfo() { return cinfo_; }

private:
    static void createStep(j_decompress_ptr cinfo, void*) { jpeg_create_decompress(cinfo); }

    jpeg_decompress_struct cinfo_{};
    JpegGuard guard_{};
    bool created_ = false;
};

// Adobe's CMYK JPEGs store the inks inverted; others store them as they are.
void cmykRowToRgbx(unsigned char* row, int width, bool inverted) {
    for (int x = 0; x < width; ++x, row += 4) {
        const int k = inverted ? row[3] : 255 - row[3];
        for (int c = 0; c < 3; ++c) {
            const int ink = inverted ? row[c] : 255 - row[c];
            row[c] = static_cast<unsigned char>(ink * k / 255);
        }
        row[3] = 255;
    }
}

} // namespace

int jpegEighthsFor(QSize natural, QSize wanted) {
    for (int eighths = 1; eighths < 8; ++eighths) {
        // libjpeg rounds a scaled dimension up.
        const int64_t w = (int64_t(natural.width()) * eighths + 7) / 8;
        const int64_t h = (int64_t(natural.height()) * eighths + 7) / 8;
        if (w >= wanted.width() && h >= wanted.height()) return eighths;
    }
    return 8;
}

Picture decodeJpeg(const uint8_t* data, size_t size, QSize area) {
    Decompressor decompressor;
    jpeg_decompress_struct& cinfo = decompressor.cinfo();
    Source source{data, size};
    decompressor.run(setSource, &source, "no JPEG data");
    decompressor.run(readHeader, nullptr, "not a JPEG picture");

    const QSize natural(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    if (natural.isEmpty()) throw PictureError("JPEG picture without pixels");
    cinfo.scale_denom = 8;
    cinfo.scale_num =
        area.isEmpty() ? 8
                       : static_cast<unsigned>(jpegEighthsFor(natural, shownSize(natural, area)));
    // Beyond the budget even at full size, a picture is decoded at the scale that fits.
    while (int64_t(cinfo.image_width) * cinfo.scale_num / 8 * cinfo.image_height * cinfo.scale_num /
                   8 >
               PicturePixelBudget &&
           cinfo.scale_num > 1)
        --cinfo.scale_num;

    QImage::Format format = QImage::Format_RGBX8888;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        cinfo.out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
    } else {
        cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBX;
    }
    decompressor.run(calcOutput, nullptr, "JPEG picture cannot be scaled");
    const int64_t pixels = int64_t(cinfo.output_width) * cinfo.output_height;
    if (pixels <= 0 || pixels > PicturePixelBudget)
        throw PictureError("JPEG picture beyond the pixel budget");

    Picture picture{
        QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), format),
        natural};
    if (picture.image.isNull()) throw PictureError("no memory for the JPEG picture");
    RowTarget target{picture.image.bits(), static_cast<size_t>(picture.image.bytesPerLine())};
    decompressor.run(decodeRows, &target, "corrupt JPEG picture");
    if (cmyk) {
        for (int y = 0; y < picture.image.height(); ++y)
            cmykRowToRgbx(target.bits + target.stride * size_t(y), picture.image.width(),
                          cinfo.saw_Adobe_marker);
    }
    return picture;
}

} // namespace lumi
