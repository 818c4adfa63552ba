#pragma once
// Where the viewer puts a picture in its panel: at its own size, centred, when it is smaller
// than the panel both ways; otherwise shrunk or grown to the panel by the larger of the two
// ratios, less 5 pixels each way, centred.
#include <QRect>
#include <QSize>

namespace lumi {

struct PictureFit {
    // True: the image control fills the panel and draws the picture unscaled, centred.
    bool naturalSize = false;
    // The image control's place inside the panel.
    QRect place;
};

PictureFit fitPicture(QSize natural, QSize area);

// The size at which the picture appears on screen when fitted into area.
QSize shownSize(QSize natural, QSize area);

} // namespace lumi
