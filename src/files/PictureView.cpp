#include "files/PictureView.h"

#include <optional>

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include "picture/PictureDecode.h"
#include "picture/PictureFit.h"

namespace lumi {

void PictureView::load(QLabel& view, const std::string& path, QSize area) {
    const PictureFormat named = pictureFormatOf(path);
    if (named == PictureFormat::None) throw PictureError("no decoder for this kind of file");
    QByteArray bytes = readPictureFile(path);
    // Read as what the bytes are, as the grid's thumbnails are.
    const PictureFormat format = sniffedPictureFormat(bytes, named);
    Picture picture = decodePicture(bytes, format, area);
    QPixmap pixels = QPixmap::fromImage(std::move(picture.image));
    if (pixels.isNull()) throw PictureError("picture cannot be drawn");
    pixels_ = std::move(pixels);
    natural_ = picture.natural;
    ++loads_;
    sharpening_ = {};
    // Only a picture decoded below its own size may need decoding again.
    const bool scaled = pixels_.size() != natural_;
    encoded_ = scaled ? std::move(bytes) : QByteArray();
    format_ = scaled ? format : PictureFormat::None;
    view.setPixmap(pixels_);
}

bool PictureView::blurredIn(QSize panel) const {
    if (encoded_.isEmpty()) return false;
    const QSize shown = shownSize(natural_, panel);
    return shown.width() > pixels_.width() || shown.height() > pixels_.height();
}

void PictureView::sharpen(QLabel& view, QSize panel, std::function<void()> refit) {
    if (!blurredIn(panel) ||
        (sharpening_.isValid() && sharpening_.expandedTo(panel) == sharpening_))
        return;
    sharpening_ = panel;
    const QByteArray bytes = encoded_;
    const PictureFormat format = format_;
    const uint64_t load = loads_;
    const QPointer<QLabel> target(&view);
    const std::weak_ptr<PictureView*> self = self_;
    QThreadPool::globalInstance()->start([bytes, format, panel, load, target, self, refit] {
        std::optional<Picture> sharper;
        try {
            sharper = decodePicture(bytes, format, panel);
        } catch (const std::exception&) {
            // The picture on screen stays as it is.
        }
        // Back on the UI thread (the application waits for the pool before it goes); dropped
        // when the view or this object went meanwhile.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [sharper = std::move(sharper), load, target, self, refit] {
                const std::shared_ptr<PictureView*> alive = self.lock();
                if (!alive || !target) return;
                PictureView& picture = **alive;
                if (load != picture.loads_) return;
                picture.sharpening_ = {};
                if (!sharper) {
                    picture.encoded_.clear();
                    return;
                }
                QPixmap pixels = QPixmap::fromImage(sharper->image);
                if (pixels.isNull() || pixels.width() <= picture.pixels_.width()) return;
                picture.pixels_ = std::move(pixels);
                if (picture.pixels_.size() == picture.natural_) picture.encoded_.clear();
                target->setPixmap(picture.pixels_);
                if (refit) refit();
            },
            Qt::QueuedConnection);
    });
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
