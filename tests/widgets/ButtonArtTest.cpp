#include "widgets/ButtonArt.h"

#include <gtest/gtest.h>

#include "widgets/GlimFade.h"

namespace {

// Pixels of the centre band whose brightness is far from the face's own: the caption's ink.
int inkPixels(const QImage& image) {
    const QColor face = image.pixelColor(3, image.height() / 2);
    int ink = 0;
    for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y)
        for (int x = image.width() / 4; x < image.width() * 3 / 4; ++x)
            if (std::abs(qGray(image.pixel(x, y)) - qGray(face.rgb())) > 90) ++ink;
    return ink;
}

TEST(ButtonArt, FacesCarryTheirCaptionAndDifferWhenLit) {
    for (QSize size : {QSize(130, 27), QSize(118, 25), QSize(38, 14)}) {
        const QImage normal =
            lumi::captionButtonPicture(size, QStringLiteral("Download"), lumi::ButtonFace::Normal);
        const QImage lit = lumi::captionButtonPicture(size, QStringLiteral("Download"),
                                                      lumi::ButtonFace::Highlight);
        ASSERT_EQ(normal.size(), size);
        ASSERT_EQ(lit.size(), size);
        EXPECT_GT(inkPixels(normal), 10) << size.width();
        EXPECT_GT(inkPixels(lit), 10) << size.width();
        // The highlight is a clearly different face, not a faint tint.
        const int faceGap = std::abs(qGray(normal.pixel(4, size.height() / 2)) -
                                     qGray(lit.pixel(4, size.height() / 2)));
        EXPECT_GT(faceGap, 60) << size.width();
    }
    const QImage empty =
        lumi::captionButtonPicture(QSize(130, 27), QString(), lumi::ButtonFace::Normal);
    EXPECT_EQ(inkPixels(empty), 0);
}

TEST(ButtonArt, DressedButtonsTakeTheirPictureSize) {
    TGlimFade button;
    lumi::dressCaptionButton(button, QSize(118, 25), QStringLiteral("View"));
    EXPECT_FALSE(button.StretchToFit());
    EXPECT_EQ(button.size(), QSize(118, 25));
    EXPECT_EQ(button.PicTo().size(), QSize(118, 25));

    TGlimFade logo;
    lumi::dressLogoButton(logo);
    EXPECT_EQ(logo.size(), QSize(99, 83));
    EXPECT_NE(logo.PicFrom().image(), logo.PicTo().image());
}

} // namespace
