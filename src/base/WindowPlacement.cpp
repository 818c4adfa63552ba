#include "base/WindowPlacement.h"

#include <algorithm>

namespace lumi {

QPoint openingPosition(const QRect& savedFrame, const std::vector<QRect>& screens,
                       const QPoint& fallback) {
    if (screens.empty()) return savedFrame.topLeft();
    const QPoint titleBar(savedFrame.left() + savedFrame.width() / 2, savedFrame.top());
    const bool reachable = std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        return screen.contains(titleBar);
    });
    return reachable ? savedFrame.topLeft() : fallback;
}

QRect fittedToArea(const QRect& frame, const QRect& area, const QSize& minimum) {
    if (!area.isValid()) return frame;
    const int width = std::min(std::max(frame.width(), minimum.width()), area.width());
    const int height = std::min(std::max(frame.height(), minimum.height()), area.height());
    const int left = std::clamp(frame.left(), area.left(), area.left() + area.width() - width);
    const int top = std::clamp(frame.top(), area.top(), area.top() + area.height() - height);
    return {left, top, width, height};
}

QRect centredOver(const QRect& owner, const QSize& size, const QRect& area) {
    const QRect centred(owner.center().x() - size.width() / 2 + 1,
                        owner.center().y() - size.height() / 2 + 1, size.width(), size.height());
    return fittedToArea(centred, area);
}

} // namespace lumi
