#include "PhotoPicture.h"

#include <algorithm>

#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

namespace lumi::bench {

QImage photoLikePicture(QSize size, bool grain) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(0x2a, 0x6f, 0xdb));
    sky.setColorAt(1, QColor(0xf2, 0xc9, 0x4c));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(7);
    const int reach = std::max(1, size.width() / 10);
    for (int i = 0; i < 400; ++i) {
        painter.setBrush(QColor::fromRgb(random.generate()));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(random.bounded(size.width()), random.bounded(size.height()),
                            random.bounded(reach), random.bounded(reach));
    }
    painter.end();
    if (!grain) return image;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int speck = int(random.bounded(16)) - 8;
            const QRgb p = row[x];
            row[x] =
                qRgb(std::clamp(qRed(p) + speck, 0, 255), std::clamp(qGreen(p) + speck, 0, 255),
                     std::clamp(qBlue(p) + speck, 0, 255));
        }
    }
    return image;
}

} // namespace lumi::bench
