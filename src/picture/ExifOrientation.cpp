#include "picture/ExifOrientation.h"

#include <QTransform>

namespace lumi {

bool swapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

QSize orientedSize(QSize stored, int orientation) {
    return swapsSides(orientation) ? stored.transposed() : stored;
}

QImage orientImage(const QImage& stored, int orientation) {
    // Each orientation as a quarter turn clockwise (or none), then mirroring left-right
    // and top-bottom: 3 is a half turn, 5 the transpose, 8 three quarters.
    struct Steps {
        bool quarter, horizontal, vertical;
    };
    static constexpr Steps steps[] = {
        {false, false, false}, {false, false, false}, {false, true, false},
        {false, true, true},   {false, false, true},  {true, true, false},
        {true, false, false},  {true, false, true},   {true, true, true},
    };
    const Steps& step = steps[orientation >= 1 && orientation <= 8 ? orientation : 1];
    QImage image = step.quarter ? stored.transformed(QTransform().rotate(90)) : stored;
    if (step.horizontal || step.vertical) image = image.mirrored(step.horizontal, step.vertical);
    return image;
}

} // namespace lumi
