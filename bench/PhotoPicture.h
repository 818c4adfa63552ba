#pragma once
// A photo-like picture for the picture benchmarks: a diagonal gradient with 400 coloured
// ellipses and, when asked, grain, so that a JPEG of it costs what a photograph costs.
#include <QImage>
#include <QSize>

namespace lumi::bench {

QImage photoLikePicture(QSize size, bool grain);

} // namespace lumi::bench
