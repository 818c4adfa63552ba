#include "picture/PictureFit.h"

#include <algorithm>

#include "base/Clock.h"

namespace lumi {

namespace {

// The image control is this much smaller than the stretched picture's exact size.
constexpr int FitMargin = 5;

int rounded(double value) {
    return static_cast<int>(roundHalfEven(value));
}

} // namespace

PictureFit fitPicture(QSize natural, QSize area) {
    const int aw = area.width();
    const int ah = area.height();
    if (natural.width() < aw && natural.height() < ah) return {true, QRect(0, 0, aw, ah)};
    // A panel without room (a window shrunk to nothing) gives the picture no room either.
    if (aw <= 0 || ah <= 0 || natural.isEmpty()) return {false, QRect()};
    const double rh = double(natural.height()) / ah;
    const double rw = double(natural.width()) / aw;
    const double r = rh > rw ? rh : rw;
    // A sliver of a picture (10 000 × 1) would come out below the margin: it gets no room.
    const int height = std::max(0, rounded(natural.height() / r) - FitMargin);
    const int width = std::max(0, rounded(natural.width() / r) - FitMargin);
    const int left = rounded(aw / 2.0 - width / 2.0);
    const int top = rounded(ah / 2.0 - height / 2.0);
    return {false, QRect(left, top, width, height)};
}

QSize shownSize(QSize natural, QSize area) {
    const PictureFit fit = fitPicture(natural, area);
    return fit.naturalSize ? natural : fit.place.size();
}

} // namespace lumi
