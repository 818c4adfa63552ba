#pragma once
// Where the main window opens: the rule that keeps a saved position from putting the window's
// title bar where the user cannot reach it.
#include <vector>

#include <QPoint>
#include <QRect>

namespace lumi {

// The position the window opens at: the saved frame position, or fallback when the middle of
// the saved frame's top edge (its title bar) lies outside every screen. With no screens
// known the saved position stands.
QPoint openingPosition(const QRect& savedFrame, const std::vector<QRect>& screens,
                       const QPoint& fallback);

} // namespace lumi
