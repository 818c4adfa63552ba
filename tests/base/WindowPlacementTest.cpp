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
