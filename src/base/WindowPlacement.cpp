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

} // namespace lumi
