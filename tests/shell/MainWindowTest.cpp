#include "shell/Main.h"

#include <fstream>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "base/Clock.h"
#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "engine/SearchEngine.h"
#include "engine/unitVersionCheck.h"
#include "shell/Unit2.h"
#include "widgets/Gauges.h"
#include "widgets/GlimFade.h"
#include "shell/SearchBar.h"
#include "shell/ResultGrid.h"
#include "shell/ResultList.h"
#include "shell/ViewerPanel.h"
#include "shell/Commands.h"

namespace {

// A seed whose first draw from 0 to 99 asks the tell-a-friend question (above 95) or not.
uint32_t seedWhoseFirstDraw(bool asks) {
    for (uint32_t seed = 1;; ++seed) {
        lumi::setRandomSeed(seed);
        if ((lumi::randomBelow(100) > 95) == asks) return seed;
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The main window over a settings file in a scratch folder, with the desktop replaced.
class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        settingsPath = scratch.filePath(QStringLiteral("lumisift.ini")).toStdString();
        lumi::setErrorSink([this](const std::string& text) { reported.push_back(text); });
    }
    void TearDown() override {
        lumi::setErrorSink({});
        qunsetenv("LUMISIFT_MAKER_HOST");
    }

    std::unique_ptr<TForm1> makeForm(bool asks = false) {
        auto form = std::make_unique<TForm1>(settingsPath);
        form->OpenBrowser = [this](const QUrl& url) {
            opened.push_back(url);
            return browserAnswers;
        };
        form->AskYesNo = [this](const QString& question) {
            questions.push_back(question);
            return answerYes;
        };
        // The version check at show asks a loopback port (closed unless the test sets one) and
        // records in the scratch folder, never on the network or in the user's registry.
        if (qEnvironmentVariableIsEmpty("LUMISIFT_MAKER_HOST"))
            qputenv("LUMISIFT_MAKER_HOST", "127.0.0.1:1");
        form->VersionCheck->Registry =
            lumi::UserRegistry(scratch.filePath(QStringLiteral("registry.ini")).toStdString());
        // The window seeds from the clock when created; the draw at show is made fixed here.
        lumi::setRandomSeed(seedWhoseFirstDraw(asks));
        return form;
    }

    void writeSettings(const std::string& text) { std::ofstream(settingsPath) << text; }

    QTemporaryDir scratch;
    std::string settingsPath;
    std::vector<QUrl> opened;
    std::vector<QString> questions;
    std::vector<std::string> reported;
    bool browserAnswers = true;
    bool answerYes = false;
};

TEST_F(MainWindowTest, FirstRunOpensCentredAtTwoThirdsAndSavesInOrder) {
    auto form = makeForm();
    form->show();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Lumisift v1.4"));
    const QRect area = form->screen()->availableGeometry();
    const QSize opening = (area.size() * 2 / 3).expandedTo(form->minimumSize()).boundedTo(area.size());
    EXPECT_EQ(form->size(), opening);
    EXPECT_LE(std::abs(form->geometry().center().x() - area.center().x()), 2);
    EXPECT_LE(std::abs(form->geometry().center().y() - area.center().y()), 2);
    EXPECT_TRUE(form->Search->CheckBox_CheckLinks->isChecked());
    EXPECT_TRUE(form->Search->CheckBox_RecursiveSearch->isChecked());
    EXPECT_EQ(form->focusWidget(), form->Search->Edit1);
    EXPECT_TRUE(questions.empty());
    // Nothing is written at start.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(settingsPath)));

    form->close();
    EXPECT_EQ(readFile(settingsPath),
              QStringLiteral("[Options]\nCheckLinks=1\nRecursiveSearch=1\nLeftPos=%1\nTopPos=%2\n"
                             "Width=%3\nHeight=%4\nMaximized=0\n")
                  .arg(form->x()).arg(form->y()).arg(opening.width()).arg(opening.height())
                  .toStdString());
}

TEST_F(MainWindowTest, PlacementAndBoxesRoundTrip) {
    writeSettings("[Options]\nCheckLinks=0\nLeftPos=30\nTopPos=40\nWidth=700\nHeight=500\n");
    {
        auto form = makeForm();
        form->show();
        EXPECT_EQ(form->pos(), QPoint(30, 40));
        EXPECT_EQ(form->size(), QSize(700, 500));
        EXPECT_FALSE(form->Search->CheckBox_CheckLinks->isChecked());
        EXPECT_TRUE(form->Search->CheckBox_RecursiveSearch->isChecked());
        form->Search->CheckBox_CheckLinks->setChecked(true);
        form->Search->CheckBox_RecursiveSearch->setChecked(false);
        form->move(70, 90);
        form->resize(680, 490);
        form->close();
    }
    TIniFile ini(settingsPath);
    EXPECT_TRUE(ini.ReadBool("Options", "CheckLinks", false));
    EXPECT_FALSE(ini.ReadBool("Options", "RecursiveSearch", true));
    EXPECT_FALSE(ini.ReadBool("Options", "Maximized", true));

    auto again = makeForm();
    again->show();
    EXPECT_EQ(again->pos(), QPoint(70, 90));
    EXPECT_EQ(again->size(), QSize(680, 490));
    EXPECT_TRUE(again->Search->CheckBox_CheckLinks->isChecked());
    EXPECT_FALSE(again->Search->CheckBox_RecursiveSearch->isChecked());

    // A saved size below the minimum opens at the minimum.
    again->close();
    writeSettings("[Options]\nWidth=300\nHeight=479\n");
    auto small = makeForm();
    small->show();
    EXPECT_EQ(small->size(), QSize(640, 480));
}

TEST_F(MainWindowTest, MaximisedCloseKeepsTheLastNormalBounds) {
    writeSettings("[Options]\nLeftPos=50\nTopPos=60\nWidth=700\nHeight=500\nMaximized=0\n");
    {
        auto form = makeForm();
        form->show();
        form->move(5, 5);
        form->setWindowState(Qt::WindowMaximized);
        ASSERT_TRUE(form->isMaximized());
        form->close();
    }
    TIniFile ini(settingsPath);
    EXPECT_TRUE(ini.ReadBool("Options", "Maximized", false));
    EXPECT_EQ(ini.ReadInteger("Options", "LeftPos", 0), 50);
    EXPECT_EQ(ini.ReadInteger("Options", "TopPos", 0), 60);
    EXPECT_EQ(ini.ReadInteger("Options", "Width", 0), 700);
    EXPECT_EQ(ini.ReadInteger("Options", "Height", 0), 500);

    auto again = makeForm();
    again->show();
    EXPECT_TRUE(again->isMaximized());
    again->showNormal();
    EXPECT_EQ(again->frameGeometry().topLeft(), QPoint(50, 60)) << "the saved frame position";
    EXPECT_EQ(again->size(), QSize(700, 500));
}

TEST_F(MainWindowTest, FailedSettingsWriteIsShownAndTheWindowStillCloses) {
    settingsPath = scratch.filePath(QStringLiteral("missing/lumisift.ini")).toStdString();
    std::vector<std::string> shown;
    lumi::setDefaultHandlerPresenter([&](const std::string& message) { shown.push_back(message); });
    auto form = makeForm();
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    lumi::setDefaultHandlerPresenter({});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Unable to write to " + settingsPath);
}

TEST_F(MainWindowTest, SlideShowPauseComesFromWait) {
    EXPECT_EQ(makeForm()->Viewer->SlideShowTimer->interval(), 10000);
    writeSettings("[Options]\nWait=3\n");
    auto form = makeForm();
    EXPECT_EQ(form->Viewer->SlideShowTimer->interval(), 3000);
    EXPECT_TRUE(form->Viewer->SlideShowTimer->isSingleShot());
    EXPECT_FALSE(form->Viewer->SlideShowTimer->isActive());
    // Pauses beyond what a timer holds are capped rather than wrapping round.
    writeSettings("[Options]\nWait=3000000\n");
    EXPECT_EQ(makeForm()->Viewer->SlideShowTimer->interval(), std::numeric_limits<int>::max());
    writeSettings("[Options]\nWait=-5\n");
    EXPECT_EQ(makeForm()->Viewer->SlideShowTimer->interval(), 0);
}

TEST_F(MainWindowTest, BannerStaysCentredWithHalvesToEven) {
    auto form = makeForm();
    form->show();
    EXPECT_EQ(form->AdImage1->size(), QSize(468, 60));
    // left = width / 2 - 234, rounded halves to even.
    for (auto [width, left] : std::vector<std::pair<int, int>>{
             {640, 86}, {641, 86}, {643, 88}, {645, 88}, {700, 116}, {1001, 266}}) {
        form->resize(width, 500);
        EXPECT_EQ(form->Panel4->width(), width);
        EXPECT_EQ(form->AdImage1->x(), left) << "window width " << width;
    }
    EXPECT_TRUE(reported.empty());
}

TEST_F(MainWindowTest, TellAFriendQuestionAtStart) {
    answerYes = true;
    auto form = makeForm(true);
    form->show();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], QStringLiteral("Do you know anyone who also would like Lumisift?"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString().toStdString(), lumi::tellAFriendLink());

    answerYes = false;
    questions.clear();
    opened.clear();
    auto declined = makeForm(true);
    declined->show();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_TRUE(opened.empty());
    // Either answer goes on to the version check, the last step of the first showing.
    EXPECT_TRUE(form->VersionCheck->Running());
    EXPECT_TRUE(declined->VersionCheck->Running());
}

TEST_F(MainWindowTest, BrowserCommandsOpenTheMakersPagesAndReportFailures) {
    qputenv("LUMISIFT_MAKER_HOST", "127.0.0.1:8123");
    auto form = makeForm();
    form->show();
    const std::string home = "http://127.0.0.1:8123/";
    EXPECT_EQ(lumi::makerHomePage(), home);
    EXPECT_EQ(lumi::tellAFriendLink(),
              "mailto:?subject=Check out Lumisift!&body=The easiest way to find images on the "
              "net. It's freeware! You can download it from http://127.0.0.1:8123/");

    QTest::mouseClick(form->Commands->GlimFade9, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(form->Commands->GlimFade2, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(form->Commands->GlimFade10, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].toString().toStdString(), home);
    EXPECT_EQ(opened[1].toString().toStdString(), home);
    EXPECT_EQ(opened[2].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(opened[2].toString().toStdString(), lumi::tellAFriendLink());
    EXPECT_TRUE(reported.empty());
    qunsetenv("LUMISIFT_MAKER_HOST");
    EXPECT_EQ(lumi::makerHomePage().rfind("https://", 0), 0u);

    // The buffer holds 1024 characters: a longer address is refused whole, never cut.
    opened.clear();
    const std::string prefix = "http://example.test/";
    form->CallBrowser(prefix + std::string(1024 - prefix.size(), 'a'));
    EXPECT_EQ(opened.size(), 1u);
    form->CallBrowser(prefix + std::string(1025 - prefix.size(), 'a'));
    EXPECT_EQ(opened.size(), 1u);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "error code : #0037 (CallBrowser)");

    // No program could be started: the user is told which address, to copy it by hand.
    std::vector<QString> unopened;
    form->ShowUnopened = [&](const QString& address) { unopened.push_back(address); };
    browserAnswers = false;
    form->CallBrowser(home);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[1], "error code : #0037 (CallBrowser)");
    EXPECT_EQ(unopened, std::vector<QString>{QString::fromStdString(home)});
}

TEST_F(MainWindowTest, LayoutPlacesEveryControl) {
    writeSettings("[Options]\nWidth=640\nHeight=480\n");
    auto form = makeForm();
    form->show();
    EXPECT_EQ(form->minimumSize(), QSize(640, 480));
    EXPECT_EQ(form->Commands->Panel2->geometry(), QRect(0, 0, 148, 480 - 82));
    EXPECT_EQ(form->Panel4->geometry(), QRect(0, 480 - 82, 640, 82));
    EXPECT_EQ(form->Panel3->geometry(), QRect(148, 0, 640 - 148, 480 - 82));
    EXPECT_EQ(form->panel_Search->geometry(), form->Panel3->rect());
    EXPECT_EQ(form->Search->Panel1->height(), 84);
    EXPECT_EQ(form->Commands->Panel8->height(), 31);
    EXPECT_EQ(form->Commands->Panel8->y() + 31, form->panel_Search->height());

    EXPECT_EQ(form->Commands->GlimFade9->size(), QSize(99, 83));
    TGlimFade* const commandPanel[] = {form->Commands->GlimFade1, form->Commands->GlimFade2,
                                       form->Commands->GlimFade10, form->Commands->GlimFade3};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(commandPanel[i]->size(), QSize(130, 27));
        EXPECT_EQ(commandPanel[i]->y(), commandPanel[0]->y() + 40 * i);
        EXPECT_GT(commandPanel[i]->y(), form->Commands->GlimFade9->geometry().bottom());
    }
    TGlimFade* const commandBar[] = {form->Commands->GlimFade6, form->Commands->GlimFade8,
                                     form->Commands->GlimFade4, form->Commands->GlimFade5};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(commandBar[i]->size(), QSize(118, 25));
        if (i > 0) {
            EXPECT_GT(commandBar[i]->x(), commandBar[i - 1]->geometry().right());
        }
        EXPECT_LE(commandBar[i]->geometry().right(), form->Commands->Panel8->width() - 1);
        EXPECT_EQ(commandBar[i]->BlendRate(), 1);
    }
    for (TGlimFade* button :
         {form->Commands->GlimFade1, form->Commands->GlimFade2, form->Commands->GlimFade10,
          form->Commands->GlimFade3, form->Search->SearchButton, form->Search->AbortButton})
        EXPECT_EQ(button->BlendRate(), 32);
    // Search and Abort stand as tall as the phrase box, level with it.
    for (QWidget* button : {form->Search->SearchButton, form->Search->AbortButton})
        EXPECT_EQ(QPair(button->y(), button->height()),
                  QPair(form->Search->Edit1->y(), form->Search->Edit1->height()));
    EXPECT_FALSE(form->Search->AbortButton->isVisible());
    EXPECT_TRUE(form->Search->Button1->isVisible());
    EXPECT_EQ(form->Search->Button1->text(), QStringLiteral("&More Info"));
    EXPECT_EQ(form->Search->Label7->text(), QStringLiteral("Ready"));
    EXPECT_EQ(form->Search->Label1->text(), QStringLiteral("0"));
    EXPECT_EQ(form->Search->Label2->text(), QStringLiteral("0"));
    for (QCheckBox* box : {form->Commands->CheckBox1, form->Commands->CheckBox2,
                           form->Commands->CheckBox3, form->Commands->CheckBox4}) {
        EXPECT_TRUE(box->isChecked());
        EXPECT_FALSE(box->isVisible());
    }
    EXPECT_EQ(form->Commands->CheckBox4->text(), QStringLiteral("Lycos Images Direct"));
    EXPECT_FALSE(form->Viewer->panel_Viewer->isVisible());

    // Nothing in the search bar overlaps, and all of it lies inside the bar.
    std::vector<QWidget*> shown;
    for (QWidget* child : form->Search->Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible()) shown.push_back(child);
    EXPECT_EQ(shown.size(), 13u);
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(form->Search->Panel1->rect().contains(shown[i]->geometry()));
        for (size_t j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                << shown[i]->metaObject()->className() << " and "
                << shown[j]->metaObject()->className();
    }

    QTreeView& list = *form->Results->ListView1;
    EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Source:"));
    EXPECT_EQ(list.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename:"));
    EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size:"));
    EXPECT_TRUE(list.model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                Qt::AlignRight);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list.editTriggers(), QAbstractItemView::NoEditTriggers);
    // The 5-pixel black strips around the list, and the view switch above it.
    const QRect inFrame = list.geometry();
    EXPECT_EQ(inFrame.left(), 5);
    EXPECT_EQ(form->Grid->ViewSwitch->geometry().top(), 5);
    EXPECT_GT(inFrame.top(), form->Grid->ViewSwitch->geometry().bottom());
    EXPECT_EQ(form->Results->ListFrame->width() - inFrame.right() - 1, 5);
}

// At any size the window's controls stay inside it, none overlapping its neighbours, and the
// extra room goes to the phrase box, the name column and the command bar. Run again with
// QT_SCALE_FACTOR=2, where the screen's free area is smaller than 640 x 480.
TEST_F(MainWindowTest, TheLayoutGrowsWithTheWindowAndTheSavedSizeFitsTheScreen) {
    writeSettings("[Options]\nLeftPos=1\nTopPos=1\nWidth=2540\nHeight=1700\n");
    auto form = makeForm();
    form->show();
    const QRect area = form->screen()->availableGeometry();
    EXPECT_EQ(form->minimumSize(), QSize(640, 480).boundedTo(area.size()));
    EXPECT_TRUE(area.contains(QRect(form->pos(), form->size()))) << "the saved size is clamped";
    // Button faces and gauges hold as many pixels as the screen shows (200 % in one run).
    const qreal ratio = form->devicePixelRatioF();
    EXPECT_EQ(form->Search->SearchButton->PicFrom().image().devicePixelRatio(), ratio);
    EXPECT_EQ(form->Search->SearchButton->PicFrom().image().size(),
              form->Search->SearchButton->size() * ratio);
    TGauge gauge(form.get());
    gauge.resize(100, 20);
    EXPECT_EQ(gauge.paintedImage().size(), QSize(100, 20) * ratio);
    int lastEdit = 0;
    for (const QSize size : {QSize(640, 480), QSize(1024, 768), QSize(1600, 1000)}) {
        SCOPED_TRACE(size.width());
        form->resize(size);
        for (QWidget* parent : form->findChildren<QWidget*>()) {
            std::vector<QRect> shown;
            for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (child->isVisible() && !child->inherits("QScrollBar"))
                    shown.push_back(child->geometry());
            for (size_t i = 0; i < shown.size(); ++i) {
                EXPECT_TRUE(parent->rect().contains(shown[i])) << parent->metaObject()->className();
                for (size_t j = i + 1; j < shown.size(); ++j)
                    EXPECT_FALSE(shown[i].intersects(shown[j]))
                        << parent->metaObject()->className();
            }
        }
        EXPECT_GT(form->Search->Edit1->width(), lastEdit);
        lastEdit = form->Search->Edit1->width();
        EXPECT_GT(form->Commands->GlimFade5->geometry().right(),
                  form->Commands->Panel8->width() - 9);
        const QHeaderView& header = *form->Results->ListView1->header();
        EXPECT_EQ(header.sectionSize(0) + header.sectionSize(1) + header.sectionSize(2),
                  header.viewport()->width());
    }
}

TEST_F(MainWindowTest, HoverFadesTheButtonsAndDissolvesTheLogo) {
    auto form = makeForm();
    form->show();
    const auto enter = [](QWidget* widget) {
        QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(widget, &event);
    };
    const auto leave = [](QWidget* widget) {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    };
    for (TGlimFade* button :
         {form->Commands->GlimFade1, form->Commands->GlimFade5, form->Search->SearchButton}) {
        const QImage normal = button->DisplayImage().copy();
        enter(button);
        EXPECT_EQ(button->DisplayImage(),
                  button->PicTo().image().convertToFormat(lumi::GlimImageFormat));
        leave(button);
        EXPECT_EQ(button->DisplayImage(), normal);
    }
    TGlimFade* logo = form->Commands->GlimFade9;
    const QImage normal = logo->DisplayImage().copy();
    enter(logo);
    EXPECT_EQ(logo->DisolvRate(), 500);
    EXPECT_EQ(logo->DisplayImage(), logo->PicTo().image().convertToFormat(lumi::GlimImageFormat));
    leave(logo);
    EXPECT_EQ(logo->DisplayImage(), normal);
}

TEST_F(MainWindowTest, EscapeLeavesTheViewerAndOtherKeysReachTheirControl) {
    auto form = makeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    form->Search->Edit1->setFocus();

    QTest::keyClick(form->Search->Edit1, Qt::Key_Escape);
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_TRUE(form->panel_Search->isVisible());

    form->ShowPanel(form->Viewer->panel_Viewer);
    EXPECT_TRUE(form->ViewerShown());
    EXPECT_EQ(form->Viewer->panel_Viewer->geometry(), form->Panel3->rect());
    EXPECT_FALSE(form->panel_Search->isVisible());

    // The key goes where the desktop would send it: the focused control, else the window.
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_TRUE(form->panel_Search->isVisible());
    EXPECT_FALSE(form->Viewer->panel_Viewer->isVisible());

    QTest::keyClicks(form->Search->Edit1, QStringLiteral("cats"));
    EXPECT_EQ(form->Search->Edit1->text(), QStringLiteral("cats"));
}

TEST_F(MainWindowTest, EscapeFromTheViewerForgetsThePicturesItWasShowing) {
    auto form = makeForm();
    form->show();
    ASSERT_NE(form->Engine, nullptr);
    form->Engine->ViewList.add("http://example.test/a.jpg");
    form->Engine->ViewList.add("http://example.test/b.jpg");

    // With the result list shown, Escape leaves the list of pictures alone.
    char key = 27;
    form->FormKeyPress(key);
    EXPECT_EQ(form->Engine->ViewList.size(), 2u);

    form->ShowPanel(form->Viewer->panel_Viewer);
    key = 27;
    form->FormKeyPress(key);
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_EQ(form->Engine->ViewList.size(), 0u);
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesTheDiagnosticsWindow) {
    auto form = makeForm();
    TForm2 diagnostics;
    form->Form2 = &diagnostics;
    form->show();
    diagnostics.show();
    ASSERT_TRUE(diagnostics.isVisible());
    form->close();
    // A diagnostics window left open would keep the program running without its main window.
    EXPECT_FALSE(diagnostics.isVisible());
    form->Form2 = nullptr;
}

} // namespace
