#pragma once
// The picture in the viewer's image control: the decoded pixels and the picture's own size,
// placed inside the viewer panel by the fitting rule (lumi::fitPicture).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QByteArray>
#include <QPixmap>
#include <QSize>

#include "picture/PictureDecode.h"

class QLabel;

namespace lumi {

class PictureView {
public:
    PictureView() = default;
    PictureView(const PictureView&) = delete;
    PictureView& operator=(const PictureView&) = delete;

    // Decodes the picture file at path for a panel up to area's size and puts it into view;
    // throws PictureError, and then view keeps what it showed.
    void load(QLabel& view, const std::string& path, QSize area);
    // Places view inside its panel of size panel: unscaled and centred when the picture is
    // smaller both ways, otherwise stretched to the fitted place.
    void fit(QLabel& view, QSize panel) const;
    QSize natural() const { return natural_; }

    // Whether panel shows the picture larger than its decoded pixels hold (a JPEG decoded
    // scaled for a smaller panel).
    bool blurredIn(QSize panel) const;
    // Decodes the picture again for panel off the UI thread, from the bytes kept from its
    // load; the sharper pixels then replace those in view and refit runs, unless another
    // picture was loaded meanwhile. view must outlive this object.
    void sharpen(QLabel& view, QSize panel, std::function<void()> refit);

private:
    QPixmap pixels_;
    QSize natural_;
    // The file's bytes while a scaled decode may need redoing.
    QByteArray encoded_;
    PictureFormat format_ = PictureFormat::None;
    // Counts loads, so that a late sharper decode of an earlier picture is dropped.
    uint64_t loads_ = 0;
    // The panel a sharper decode is under way for (empty: none).
    QSize sharpening_;
    // Lets a decode that finishes after this object went see that it did.
    std::shared_ptr<PictureView*> self_ = std::make_shared<PictureView*>(this);
};

} // namespace lumi
