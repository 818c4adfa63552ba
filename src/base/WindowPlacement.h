#pragma once
// Where windows open: the rule that keeps a saved position from putting the main window's
// title bar where the user cannot reach it, the fitting of a saved frame into a screen's
// free area, and the place of a dialog over its owner.
#include <vector>

#include <QPoint>
#include <QRect>

namespace lumi {

// The position the window opens at: the saved frame position, or fallback when the middle of
// the saved frame's top edge (its title bar) lies outside every screen. With no screens
// known the saved position stands.
QPoint openingPosition(const QRect& savedFrame, const std::vector<QRect>& screens,
                       const QPoint& fallback);

// frame made to fit area: no wider or higher than it (and no smaller than minimum where the
// area allows), then moved by the least amount that brings it wholly inside.
QRect fittedToArea(const QRect& frame, const QRect& area, const QSize& minimum = {});

// The place of a window of the given size centred over owner, kept inside area.
QRect centredOver(const QRect& owner, const QSize& size, const QRect& area);

} // namespace lumi
