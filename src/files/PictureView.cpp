#include "files/PictureView.h"

#include <QLabel>

#include "picture/PictureDecode.h"
#include "picture/PictureFit.h"

namespace lumi {

void PictureView::load(QLabel& view, const std::string& path, QSize area) {
    Picture picture = loadPictureFile(path, area);
    QPixmap pixels = QPixmap::fromImage(std::move(picture.image));
    if (pixels.isNull()) throw PictureError("picture cannot be drawn");
    pixels_ = std::move(pixels);
    natural_ = picture.natural;
    view.setPixmap(pixels_);
}

void PictureView::fit(QLabel& view, QSize panel) const {
    if (pixels_.isNull()) return;
    const PictureFit fit = fitPicture(natural_, panel);
    view.setGeometry(fit.place);
    view.setScaledContents(!fit.naturalSize);
    // A picture decoded scaled for a smaller panel is drawn at its own size again here.
    if (fit.naturalSize && pixels_.size() != natural_)
        view.setPixmap(pixels_.scaled(natural_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    else if (view.pixmap().cacheKey() != pixels_.cacheKey())
        view.setPixmap(pixels_);
}

} // namespace lumi
