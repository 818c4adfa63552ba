#pragma once
// Turns a picture file into pixels for the viewer. The decoder is chosen by the file name's
// extension (letter case ignored): JPEG through libjpeg, GIF through giflib (first frame),
// BMP and icons through Qt's readers; any other extension does not load. Every failure,
// from a missing file to corrupt data or a picture beyond the pixel budget, throws
// PictureError; nothing is kept from a failed load.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace lumi {

// The most pixels a decoded picture may hold (128 MB at four bytes each). A JPEG beyond it is
// decoded scaled down; anything still beyond it is refused.
inline constexpr int64_t PicturePixelBudget = int64_t(1) << 25;
// The largest picture file read into memory.
inline constexpr int64_t PictureFileLimit = int64_t(128) << 20;

// What a picture beyond the budgets is refused with.
inline constexpr const char* TooLargeToShow = "too large to show";

struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Picture {
    // The pixels; a JPEG decoded for a small area holds fewer than the picture itself.
    QImage image;
    // The picture's own width and height, which FitPicture works from.
    QSize natural;
};

enum class PictureFormat { None, Jpeg, Gif, Bmp, Icon, Png };

// The decoder for a file name: bmp, jpg, jpeg, gif, ico in any letter case; None otherwise.
PictureFormat pictureFormatOf(std::string_view fileName);

// The decoder the bytes themselves call for where they begin as a JPEG, GIF, PNG or BMP
// does (a GIF named ".jpg" is read as the GIF it is); named otherwise.
PictureFormat sniffedPictureFormat(const QByteArray& bytes, PictureFormat named);

// area: the place the picture will be fitted into. A JPEG is decoded at the smallest of
// libjpeg's scales that still covers its fitted size there; an empty area decodes at full size.
// Of an icon's pictures the largest that fits area is taken (the smallest when none does).
Picture decodePicture(const QByteArray& bytes, PictureFormat format, QSize area = {});
Picture loadPictureFile(const std::string& path, QSize area = {});
// The bytes of a picture file (at most PictureFileLimit), for decodePicture.
QByteArray readPictureFile(const std::string& path);

} // namespace lumi
