// Where the main window opens when its saved position would hide its title bar.
#include "base/WindowPlacement.h"

#include <gtest/gtest.h>

TEST(WindowPlacement, APositionOpensOnlyWhereTheTitleBarCanBeReached) {
    const std::vector<QRect> screens{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1024, 768)};
    const QPoint fallback(1, 1);
    const struct {
        QRect saved;
        QPoint opens;
    } cases[] = {
        {QRect(100, 80, 640, 480), QPoint(100, 80)},
        {QRect(-300, 0, 640, 480), QPoint(-300, 0)},     // partly off to the left
        {QRect(1500, 700, 640, 480), QPoint(1500, 700)}, // on the second screen
        {QRect(100, -1, 640, 480), fallback},            // title bar above the screen
        {QRect(1500, 800, 640, 480), fallback},          // below the second screen
        {QRect(-400, 10, 640, 480), fallback},           // middle of the top edge off screen
        {QRect(3000, 10, 640, 480), fallback},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumi::openingPosition(c.saved, screens, fallback), c.opens)
            << c.saved.x() << "," << c.saved.y();
    EXPECT_EQ(lumi::openingPosition(QRect(-5000, -5000, 640, 480), {}, fallback),
              QPoint(-5000, -5000))
        << "with no screen known the saved position stands";
}

// A saved frame too large for the screen (a size saved at 100 % opened at 200 %) shrinks to
// the free area and moves inside it; a dialog opens centred over its owner, inside the area.
TEST(WindowPlacement, FramesFitTheFreeAreaAndDialogsCentreOverTheirOwner) {
    const QRect area(0, 30, 1280, 870);
    const struct {
        QRect frame;
        QRect fitted;
    } cases[] = {
        {QRect(100, 80, 700, 520), QRect(100, 80, 700, 520)},
        {QRect(1, 1, 2540, 1700), QRect(0, 30, 1280, 870)},
        {QRect(900, 600, 640, 480), QRect(640, 420, 640, 480)},
        {QRect(-300, 0, 640, 480), QRect(0, 30, 640, 480)},
        {QRect(5, 40, 10, 10), QRect(5, 40, 640, 480)}, // never below the minimum
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumi::fittedToArea(c.frame, area, QSize(640, 480)), c.fitted) << c.frame.x();
    EXPECT_EQ(lumi::centredOver(QRect(100, 100, 800, 600), QSize(400, 300), area),
              QRect(300, 250, 400, 300));
    EXPECT_EQ(lumi::centredOver(QRect(1000, 700, 200, 100), QSize(400, 300), area).bottomRight(),
              area.bottomRight());
}
