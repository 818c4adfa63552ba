// The about box: its texts on every showing, its links, its close button, and the About
// command that shows it modally.
#include "shell/unit_About.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "shell/Main.h"
#include "widgets/GlimFade.h"
#include "shell/Commands.h"

TEST(AboutBox, SetsItsTextsOnEveryShowingAndLinksToTheMakersHomePage) {
    qputenv("LUMISIFT_MAKER_HOST", "maker.test:8080");
    Tfrm_About about;
    std::vector<std::string> opened;
    about.CallBrowser = [&](const std::string& target) { opened.push_back(target); };
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(about.size(), QSize(290, 185));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(about.Image1->size(), QSize(99, 83));
    EXPECT_EQ(about.GlimFade1->size(), QSize(43, 16));

    for (int showing = 0; showing < 2; ++showing) {
        about.show();
        EXPECT_EQ(about.label_ProgramName->text(), QStringLiteral("Lumisift"));
        EXPECT_EQ(about.label_Version->text(), QStringLiteral("Version 1.4"));
        EXPECT_EQ(about.Label_URL->text(), QStringLiteral("http://maker.test:8080/"));
        about.label_Version->setText(QStringLiteral("changed while hidden"));
        QTest::mouseClick(about.GlimFade1, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_FALSE(about.isVisible());
    }

    about.show();
    QTest::mouseClick(about.Label_URL, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(about.Image1, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(opened, std::vector<std::string>(2, "http://maker.test:8080/"));
    qunsetenv("LUMISIFT_MAKER_HOST");
}

TEST(AboutBox, AboutCommandShowsItModally) {
    qputenv("LUMISIFT_MAKER_HOST", "127.0.0.1:1");
    QTemporaryDir scratch;
    TForm1 form(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString());
    Tfrm_About about;
    form.Commands->frm_About = &about;
    bool wasModal = false;
    QTimer::singleShot(0, &about, [&] {
        wasModal = about.isVisible() && about.isModal();
        about.GlimFade1Click();
    });
    form.Commands->GlimFade3Click();
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(about.isVisible());
    qunsetenv("LUMISIFT_MAKER_HOST");
}
