#include "picture/JpegDecode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "picture/ExifOrientation.h"
#include "picture/JpegScans.h"
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
    // libjpeg's message code of the error that ended the decode.
    int failure;
};

JpegGuard& guardOf(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegGuard*>(cinfo->err);
}

// Replaces libjpeg's default, which prints and calls exit().
[[noreturn]] void leaveLibjpeg(j_common_ptr cinfo) {
    guardOf(cinfo).failure = cinfo->err->msg_code;
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
    // The APP1 segments, for the EXIF orientation (one segment holds at most 64 kB).
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
}

void calcOutput(j_decompress_ptr cinfo, void*) {
    jpeg_calc_output_dimensions(cinfo);
}

struct RowTarget {
    unsigned char* bits;
    size_t stride;
};

void readRows(j_decompress_ptr cinfo, const RowTarget* target) {
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = target->bits + target->stride * cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &row, 1) == 0) {
            // Not expected from a memory source; the rows never written are blanked.
            std::memset(row, 0, target->stride * (cinfo->output_height - cinfo->output_scanline));
            break;
        }
    }
}

void decodeRows(j_decompress_ptr cinfo, void* context) {
    jpeg_start_decompress(cinfo);
    readRows(cinfo, static_cast<const RowTarget*>(context));
}

// The last zig-zag position a component's scaled inverse DCT reads: a block scaled to s × s
// pixels uses only the top-left s × s coefficients (at an eighth, the DC alone).
int lastCoefficientUsed(const jpeg_component_info& component) {
    switch (component.DCT_scaled_size) {
    case 1:
        return 0;
    case 2:
        return 4;
    case 4:
        return 24;
    default:
        return DCTSIZE2 - 1;
    }
}

// At the start of a scan: whether every coefficient the output uses is complete (its last
// refinement read) and the scan now starting adds nothing to them.
bool scansUsedAreIn(j_decompress_ptr cinfo) {
    for (int i = 0; i < cinfo->comps_in_scan; ++i)
        if (cinfo->Ss <= lastCoefficientUsed(*cinfo->cur_comp_info[i])) return false;
    for (int c = 0; c < cinfo->num_components; ++c) {
        const int last = lastCoefficientUsed(cinfo->comp_info[c]);
        for (int k = 0; k <= last; ++k)
            if (cinfo->coef_bits[c][k] != 0) return false;
    }
    return true;
}

// A progressive picture decoded scaled down: the input is read in buffered-image mode only
// until the scans its scaled inverse DCTs use are in (at an eighth, the DC scans), and the
// picture is output from those. Block smoothing only guesses coefficients these DCTs never
// read, so it is left off.
void decodeRowsFromScansUsed(j_decompress_ptr cinfo, void* context) {
    cinfo->buffered_image = TRUE;
    cinfo->do_block_smoothing = FALSE;
    jpeg_start_decompress(cinfo);
    for (;;) {
        const int status = jpeg_consume_input(cinfo);
        if (status == JPEG_SUSPENDED || status == JPEG_REACHED_EOI) break;
        if (status == JPEG_REACHED_SOS && scansUsedAreIn(cinfo)) break;
    }
    jpeg_start_output(cinfo, cinfo->input_scan_number);
    readRows(cinfo, static_cast<const RowTarget*>(context));
    jpeg_finish_output(cinfo);
}

// What the whole-picture coefficient buffer of a progressive or multi-scan picture takes.
int64_t coefficientBytes(const jpeg_decompress_struct& cinfo) {
    int64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        const auto roundUp = [](int64_t value, int64_t step) {
            return (value + step - 1) / step * step;
        };
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) *
                 int64_t(sizeof(JBLOCK));
    }
    return bytes;
}

int orientationOf(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1) continue;
        const int orientation = exifOrientation(marker->data, marker->data_length);
        if (orientation != 1) return orientation;
    }
    return 1;
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
        cinfo_.mem->max_memory_to_use = static_cast<long>(JpegCoefficientMemory + JpegOtherMemory);
        cinfo_.progress = &guard_.progress;
    }
    ~Decompressor() {
        if (created_) jpeg_destroy_decompress(&cinfo_);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    void run(JpegStep step, void* context, const char* what) {
        if (runGuarded(&cinfo_, step, context)) return;
        if (guard_.failure == JERR_OUT_OF_MEMORY) throw PictureError(TooLargeToShow);
        throw PictureError(what);
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

namespace {

// Every component decoded at one pixel per block: each pixel is its block's DC value alone.
bool dcAlone(const jpeg_decompress_struct& cinfo) {
    for (int c = 0; c < cinfo.num_components; ++c)
        if (cinfo.comp_info[c].DCT_scaled_size != 1) return false;
    return true;
}

// reduced: data is already the DC scans of a progressive stream.
Picture decodeJpegStream(const uint8_t* data, size_t size, QSize area, bool reduced) {
    Decompressor decompressor;
    jpeg_decompress_struct& cinfo = decompressor.cinfo();
    Source source{data, size};
    decompressor.run(setSource, &source, "no JPEG data");
    decompressor.run(readHeader, nullptr, "not a JPEG picture");

    const QSize stored(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    if (stored.isEmpty()) throw PictureError("JPEG picture without pixels");
    const int orientation = orientationOf(cinfo);
    const QSize natural = orientedSize(stored, orientation);
    cinfo.scale_denom = 8;
    cinfo.scale_num = area.isEmpty()
                          ? 8
                          : static_cast<unsigned>(jpegEighthsFor(
                                stored, orientedSize(shownSize(natural, area), orientation)));
    // Beyond the budget even at full size, a picture is decoded at the scale that fits.
    while (int64_t(cinfo.image_width) * cinfo.scale_num / 8 * cinfo.image_height * cinfo.scale_num /
                   8 >
               PicturePixelBudget &&
           cinfo.scale_num > 1)
        --cinfo.scale_num;
    if (jpeg_has_multiple_scans(&cinfo) && coefficientBytes(cinfo) > JpegCoefficientMemory)
        throw PictureError(TooLargeToShow);

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
    if (pixels <= 0 || pixels > PicturePixelBudget) throw PictureError(TooLargeToShow);

    if (!reduced && cinfo.progressive_mode && dcAlone(cinfo)) {
        // Only the DC scans matter: the stream without the rest decodes to the same pixels.
        const std::vector<uint8_t> dcScans = jpegDcScansOnly(data, size);
        if (!dcScans.empty()) return decodeJpegStream(dcScans.data(), dcScans.size(), area, true);
    }
    QImage image(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                 format);
    if (image.isNull()) throw PictureError("no memory for the JPEG picture");
    RowTarget target{image.bits(), static_cast<size_t>(image.bytesPerLine())};
    const bool partly = cinfo.progressive_mode && cinfo.scale_num < 8;
    decompressor.run(partly ? decodeRowsFromScansUsed : decodeRows, &target,
                     "corrupt JPEG picture");
    if (cmyk) {
        for (int y = 0; y < image.height(); ++y)
            cmykRowToRgbx(target.bits + target.stride * size_t(y), image.width(),
                          cinfo.saw_Adobe_marker);
    }
    return Picture{orientation == 1 ? std::move(image) : orientImage(image, orientation), natural};
}

} // namespace

Picture decodeJpeg(const uint8_t* data, size_t size, QSize area) {
    return decodeJpegStream(data, size, area, false);
}

} // namespace lumi
