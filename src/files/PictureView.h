#pragma once
// The picture in the viewer's image control: the decoded pixels and the picture's own size,
// placed inside the viewer panel by the fitting rule (lumi::fitPicture).
#include <string>

#include <QPixmap>
#include <QSize>

class QLabel;

namespace lumi {

class PictureView {
public:
    // Decodes the picture file at path for a panel up to area's size and puts it into view;
    // throws PictureError, and then view keeps what it showed.
    void load(QLabel& view, const std::string& path, QSize area);
    // Places view inside its panel of size panel: unscaled and centred when the picture is
    // smaller both ways, otherwise stretched to the fitted place.
    void fit(QLabel& view, QSize panel) const;
    QSize natural() const { return natural_; }

private:
    QPixmap pixels_;
    QSize natural_;
};

} // namespace lumi
