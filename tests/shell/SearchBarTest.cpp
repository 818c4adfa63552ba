// The main window's search bar, results list and Visit command over the real engine, and
// the diagnostics window following the engine's counters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "analysis/ArchiveService.h"
#include "analysis/UrlUtils.h"
#include "common/EventLoopWait.h"
#include "engine/SearchEngine.h"
#include "engine/SmartSave.h"
#include "files/unit_Download.h"
#include "net/ScriptedServer.h"
#include "shell/Commands.h"
#include "shell/Main.h"
#include "shell/ResultList.h"
#include "shell/SearchBar.h"
#include "shell/Unit2.h"
#include "shell/ViewerPanel.h"
#include "widgets/GlimFade.h"
#include "shell/SearchBar.h"
#include "shell/ResultList.h"
#include "shell/Commands.h"

using lumi::test::waitUntil;

namespace {

// The main window over a scratch settings file; the search services point at a closed
// loopback port, so fetches fail at once and nothing leaves the machine.
class SearchBarTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* variable :
             {"LUMISIFT_HOTBOT_HOST", "LUMISIFT_LYCOS_HOST", "LUMISIFT_SCOURNET_HOST"})
            qputenv(variable, "127.0.0.1:1");
        // Every archive with a public address (SearXNG has none: it stays off).
        for (const lumi::ArchiveService* archive : lumi::archiveServices())
            if (*archive->publicBase) qputenv(archive->baseVariable, "http://127.0.0.1:1");
        form = std::make_unique<TForm1>(
            scratch.filePath(QStringLiteral("lumisift.ini")).toStdString());
        form->AskYesNo = [](const QString&) { return false; };
        form->OpenBrowser = [this](const QUrl& url) {
            opened.push_back(url.toString());
            return true;
        };
        form->ShowMessage = [this](const QString& message) { messages.push_back(message); };
        form->show();
        ASSERT_NE(form->Engine, nullptr);
    }
    void TearDown() override {
        form.reset();
        for (const char* variable :
             {"LUMISIFT_HOTBOT_HOST", "LUMISIFT_LYCOS_HOST", "LUMISIFT_SCOURNET_HOST"})
            qunsetenv(variable);
        for (const lumi::ArchiveService* archive : lumi::archiveServices())
            if (*archive->publicBase) qunsetenv(archive->baseVariable);
    }

    QTemporaryDir scratch;
    std::unique_ptr<TForm1> form;
    std::vector<QString> opened;
    std::vector<QString> messages;
};

} // namespace

TEST_F(SearchBarTest, EnterStartsABlinkingSearchAndAbortReturnsToReadyWithRowsKept) {
    EXPECT_EQ(form->Search->Label7->text(), QStringLiteral("Ready"));
    EXPECT_TRUE(form->Search->SearchButton->isVisible());
    EXPECT_FALSE(form->Search->AbortButton->isVisible());

    QTest::keyClicks(form->Search->Edit1, QStringLiteral("red cars"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    EXPECT_EQ(form->Search->Label7->text(), QStringLiteral("Searching..."));
    EXPECT_TRUE(form->Search->AbortButton->isVisible());
    EXPECT_FALSE(form->Search->SearchButton->isVisible());
    EXPECT_EQ(form->Engine->SearchDirName, MakeValidDir("red cars"));
    ASSERT_TRUE(waitUntil([&] { return form->Search->Label7->isHidden(); }, 10000))
        << "the status blinks";
    ASSERT_TRUE(waitUntil([&] { return !form->Search->Label7->isHidden(); }, 10000));

    for (const char* url : {"http://h/one/a.jpg", "http://h/two/b.jpg", "http://h/three/c.jpg"})
        form->Engine->AddToListView(url, 0);
    EXPECT_EQ(form->Search->Label1->text(), QStringLiteral("0"))
        << "the count is shown with its rows";
    ASSERT_TRUE(waitUntil([&] { return form->Results->ListView1->model()->rowCount() == 3; }));
    EXPECT_EQ(form->Search->Label1->text(), QStringLiteral("3"));
    const QAbstractItemModel& rows = *form->Results->ListView1->model();
    EXPECT_EQ(rows.index(1, 0).data().toString(), QStringLiteral("b.jpg"));
    EXPECT_EQ(rows.index(1, 1).data().toString(), QStringLiteral("UNKNOWN"));

    QTest::keyClick(form->Search->Edit1,
                    Qt::Key_Return); // Enter during a search: abort, start anew
    EXPECT_EQ(form->Search->Label7->text(), QStringLiteral("Searching..."));
    EXPECT_TRUE(form->Search->AbortButton->isVisible());
    EXPECT_EQ(form->Search->Label1->text(), QStringLiteral("0"));
    for (const char* url : {"http://h/one/a.jpg", "http://h/two/b.jpg"})
        form->Engine->AddToListView(url, 0);

    QTest::mouseClick(form->Search->AbortButton, Qt::LeftButton);
    EXPECT_EQ(form->Search->Label7->text(), QStringLiteral("Ready"));
    EXPECT_FALSE(form->Search->Label7->isHidden());
    EXPECT_TRUE(form->Search->SearchButton->isVisible());
    EXPECT_FALSE(form->Search->AbortButton->isVisible());
    ASSERT_TRUE(waitUntil([&] { return form->Results->ListView1->model()->rowCount() == 2; }));
    EXPECT_EQ(form->Search->Label1->text(), QStringLiteral("2")) << "the rows stay after an abort";
    lumi::test::spinFor(1200);
    EXPECT_FALSE(form->Search->Label7->isHidden()) << "no blinking once aborted";
}

// A header click sorts, and rows found later take their places in that order; the rows the
// commands work on are the engine's, whatever the order shown. The search's end names the
// services that could not be reached.
TEST_F(SearchBarTest, RowsKeepTheirSortWhileTheyArriveAndTheEndNamesUnreachedServices) {
    QTreeView& list = *form->Results->ListView1;
    EXPECT_FALSE(form->Commands->GlimFade6->isEnabled());
    QTest::keyClicks(form->Search->Edit1, QStringLiteral("harbour lights"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("harbour lights \u2013 Lumisift v1.4"));
    form->Engine->AddToListView("http://h/a/small.jpg", 20000);
    form->Engine->AddToListView("http://h/b/large.jpg", 500000);
    ASSERT_TRUE(waitUntil([&] { return list.model()->rowCount() == 2; }));
    // Clicks on the size header until the largest come first.
    const QHeaderView& header = *list.header();
    for (int click = 0; click < 2 && header.sortIndicatorOrder() != Qt::DescendingOrder; ++click)
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                          QPoint(header.sectionViewportPosition(1) + 5, 5));
    ASSERT_EQ(header.sortIndicatorSection(), 1);
    form->Engine->AddToListView("http://h/c/largest.jpg", 900000);
    form->Engine->AddToListView("http://h/d/middle.jpg", 30000);
    ASSERT_TRUE(waitUntil([&] { return list.model()->rowCount() == 4; }));
    QStringList shown;
    for (int row = 0; row < 4; ++row)
        shown << list.model()->index(row, 0).data().toString();
    EXPECT_EQ(shown.join(u' '), QStringLiteral("largest.jpg large.jpg middle.jpg small.jpg"));
    list.selectionModel()->select(list.model()->index(0, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(form->Results->selectedRows(), std::vector<size_t>{2});
    EXPECT_TRUE(form->Commands->GlimFade6->isEnabled());

    ASSERT_TRUE(waitUntil([&] { return !form->Engine->Searching; }, 20000));
    const std::string status = form->Engine->display().statusText;
    EXPECT_EQ(status.rfind("No search service could be reached: ", 0), 0u) << status;
    EXPECT_NE(status.find("Openverse (Connection refused)"), std::string::npos) << status;
    EXPECT_NE(status.find("HotBot (Connection refused)"), std::string::npos) << status;
    EXPECT_EQ(form->Search->Label7->toolTip().toStdString(), status);
}

// A search left waiting on a page that does not come says what it waits for, and how long.
TEST_F(SearchBarTest, AWaitOnASlowPageNamesItsHostInTheStatus) {
    lumi::test::ScriptedServer silent;
    silent.respond = [](const std::string&, int) {
        return lumi::test::ScriptedReply{{}, lumi::test::ScriptedReply::Ending::StayOpen};
    };
    qputenv("LUMISIFT_HOTBOT_HOST", "127.0.0.1:" + QByteArray::number(silent.port()));
    form = std::make_unique<TForm1>(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString());
    form->Search->Edit1->setText(QStringLiteral("slow"));
    form->Search->SearchButtonClick();
    const std::string waiting = "Waiting for 127.0.0.1:" + std::to_string(silent.port()) + " (";
    EXPECT_TRUE(
        waitUntil([&] { return form->Engine->display().statusText.rfind(waiting, 0) == 0; }, 15000))
        << form->Engine->display().statusText;
}

TEST_F(SearchBarTest, VisitOpensTheFolderOfTheTopmostSelectedImage) {
    form->Commands->GlimFade5Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("Please select a file first!"));
    EXPECT_TRUE(opened.empty());

    form->Search->Edit1->setText(QStringLiteral("x"));
    form->Search->SearchButtonClick();
    for (const char* url : {"http://h/one/a.jpg", "http://h/two/b.jpg", "http://h/c.jpg"})
        form->Engine->AddToListView(url, 0);
    ASSERT_TRUE(waitUntil([&] { return form->Results->ListView1->model()->rowCount() == 3; }));
    QItemSelectionModel& selection = *form->Results->ListView1->selectionModel();
    selection.select(form->Results->ListView1->model()->index(2, 0),
                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.select(form->Results->ListView1->model()->index(1, 0),
                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::mouseClick(form->Commands->GlimFade5, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QStringLiteral("http://h/two/"));
}

TEST_F(SearchBarTest, DiagnosticsWindowFollowsTheEngineCounters) {
    TForm2 diagnostics;
    diagnostics.attachEngine(form->Engine);
    EXPECT_EQ(diagnostics.windowTitle(), QStringLiteral("Form2"));
    EXPECT_EQ(diagnostics.geometry(), QRect(659, 7, 364, 417));
    EXPECT_FALSE(diagnostics.isVisible());
    EXPECT_EQ(diagnostics.Label9->text(), QStringLiteral("Label9"));
    EXPECT_EQ(diagnostics.Label14->text(), QStringLiteral("Label14"));
    EXPECT_EQ(diagnostics.Label1->text(), QStringLiteral("0"));
    EXPECT_EQ(diagnostics.Label2->text(), QStringLiteral("0"));

    form->Engine->QueueForGetPage("http://h/p", 99);
    form->Engine->QueueForGetPage("http://H/P", 99);
    form->Engine->QueueForCheckLink("http://h/a.jpg");
    form->Engine->QueueForCheckLink("http://h/a.jpg");
    form->Engine->appendDiagnosticsLine("error code : #0043 (ExractDataFromScourNet)");
    EXPECT_EQ(diagnostics.Label1->text(), QStringLiteral("1"));
    EXPECT_EQ(diagnostics.Label2->text(), QStringLiteral("1"));
    EXPECT_EQ(diagnostics.Memo1->toPlainText(),
              QStringLiteral("error code : #0043 (ExractDataFromScourNet)"));
    form->Engine->Timer5Timer();
    EXPECT_EQ(diagnostics.Label9->text(), QStringLiteral("0"));
    EXPECT_EQ(diagnostics.Label13->text(), QStringLiteral("1"));
    EXPECT_EQ(diagnostics.Label14->text(), QStringLiteral("1"));

    form->Form2 = &diagnostics;
    form->Search->Button1Click();
    EXPECT_TRUE(diagnostics.isVisible());
    EXPECT_FALSE(diagnostics.isModal());
    form->Form2 = nullptr;
}

// Guards the phrase box against phrases no address can carry: it holds at most 512
// characters of 8-bit text, and a character outside Latin-1 reaches the services as its
// reference rather than as "?".
TEST_F(SearchBarTest, ThePhraseBoxTakesWhatASearchCanSend) {
    form->Search->Edit1->insert(QString(600, QLatin1Char('x'))); // as a paste
    EXPECT_EQ(form->Search->Edit1->text().size(), 512);
    form->Search->Edit1->clear();
    form->Search->Edit1->insert(QString(510, QLatin1Char('x')));
    form->Search->Edit1->insert(QString(QChar(0x416)));
    EXPECT_EQ(form->Search->Edit1->text().size(), 510) << "its reference would not fit";
    form->Search->Edit1->clear();

    form->Search->Edit1->insert(QStringLiteral("\u0416uk ?"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    ASSERT_EQ(form->Engine->GetPageQueue.size(), 9u) << "four classic services, five archives";
    EXPECT_TRUE(form->Engine->GetPageQueue[0].ends_with("&MT=%26%231046%3Buk+%3F\t2"))
        << form->Engine->GetPageQueue[0];
}

// Search, select, view and download with key presses only; every command button takes the
// focus by Tab, shows it, and works with Enter or Space.
TEST_F(SearchBarTest, EveryCommandWorksFromTheKeyboard) {
    QApplication::setActiveWindow(form.get());
    Tfrm_Download download(form.get());
    form->Commands->frm_Download = &download;
    QWidget* list = form->Results->ListView1;
    const auto tabUntil = [&](QWidget* wanted) {
        for (int i = 0; i < 20 && QApplication::focusWidget() != wanted; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        return QApplication::focusWidget() == wanted;
    };

    ASSERT_EQ(QApplication::focusWidget(), form->Search->Edit1);
    QTest::keyClicks(form->Search->Edit1, QStringLiteral("cats"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    ASSERT_TRUE(form->Engine->Searching);
    for (const char* url : {"http://127.0.0.1:1/a.jpg", "http://127.0.0.1:1/b.jpg"})
        form->Engine->AddToListView(url, 0);
    ASSERT_TRUE(waitUntil([&] { return form->Results->ListView1->model()->rowCount() == 2; }));

    ASSERT_TRUE(tabUntil(list));
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_EQ(form->Results->selectedRows(), std::vector<size_t>{0});
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewMessage->isVisible(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_EQ(QApplication::focusWidget(), list);

    TGlimFade* downloadButton = form->Commands->GlimFade4;
    const QImage unfocused = downloadButton->grab().toImage();
    ASSERT_TRUE(tabUntil(downloadButton));
    EXPECT_NE(downloadButton->grab().toImage(), unfocused) << "the focus mark";
    QTest::keyClick(downloadButton, Qt::Key_Space);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back(), QString::fromLatin1(lumi::NoSaveFolderMessage));

    QTest::keyClick(downloadButton, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(messages.size(), 2u);
}

// The licence box beside the phrase keeps its choice in the settings at once, where the next
// search and the options dialog read it.
TEST_F(SearchBarTest, TheLicenceBoxKeepsItsChoiceInTheSettingsAtOnce) {
    QComboBox* box = form->Search->combo_Licence;
    EXPECT_EQ(box->currentText(), QStringLiteral("Any licence"));
    const TIniFile settings(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString());
    for (const auto& [index, word] : {std::pair{1, "commercial"}, std::pair{4, "pd"}, std::pair{0, "any"}}) {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
        EXPECT_EQ(settings.ReadString("Services", "LicenceFilter", ""), word);
        EXPECT_EQ(box->toolTip().toStdString(),
                  lumi::licenceFilterLabel(lumi::readServiceChoice(*settings.Entries()).licence));
    }
}
