// The "Downloading Files" window and the Download command of the main window (offscreen),
// against a scripted loopback server.
#include "files/unit_Download.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "common/EventLoopWait.h"
#include "engine/SearchEngine.h"
#include "net/ScriptedServer.h"
#include "shell/Commands.h"
#include "shell/Main.h"
#include "shell/ResultList.h"
#include "shell/WindowSignals.h"
#include "widgets/Gauges.h"
#include "shell/Commands.h"
#include "shell/ResultList.h"

using lumi::test::httpResponse;
using lumi::test::ScriptedReply;
using lumi::test::ScriptedServer;

namespace {

QStringList entries(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

} // namespace

TEST(DownloadWindow, ResizeHalvesTheListAreaToEvenAndCentresAbort) {
    Tfrm_Download window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Downloading Files"));
    EXPECT_EQ(window.height(), 400);
    // Two columns of names of 44 characters fit side by side, within the screen.
    EXPECT_GE(window.width(), std::min(window.screen()->availableGeometry().width() * 9 / 10,
                                       2 * 44 * window.fontMetrics().averageCharWidth()));
    EXPECT_EQ(window.ListBox1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    window.show();
    // The list area is the window less 8-pixel margins on both sides.
    const struct {
        int width, leftColumn, abortLeft;
    } cases[] = {{400, 170, 155}, {401, 170, 156}, {403, 172, 156}, {405, 172, 158}};
    for (const auto& c : cases) {
        window.resize(c.width, 400);
        lumi::test::spinFor(20);
        EXPECT_EQ(window.Panel3->width(), c.leftColumn) << c.width;
        EXPECT_EQ(window.BitBtn1->x(), c.abortLeft) << c.width;
    }
}

// Guards the save step: the first exact entry moves, a longer name above it stays.
TEST(DownloadWindow, SavedFileMovesItsFirstEntryAndTheEmptyQueueCloses) {
    Tfrm_Download window;
    window.ListBox1->addItems(
        {QStringLiteral("aa.jpg"), QStringLiteral("a.jpg"), QStringLiteral("a.jpg")});
    window.show();
    EXPECT_EQ(window.Gauge1->Progress(), 0);
    EXPECT_EQ(window.Gauge1->MaxValue(), 3);
    window.fileSaved("a.jpg");
    EXPECT_EQ(entries(*window.ListBox1),
              QStringList({QStringLiteral("aa.jpg"), QStringLiteral("a.jpg")}));
    EXPECT_EQ(entries(*window.ListBox2), QStringList({QStringLiteral("a.jpg")}));
    EXPECT_EQ(window.Gauge1->Progress(), 1);
    window.fileSaved("a.jpg");
    EXPECT_TRUE(window.isVisible());
    window.fileSaved("aa.jpg");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.ListBox1->count(), 0);
    EXPECT_EQ(window.ListBox2->count(), 0) << "closing empties both lists";
}

// A started file shows "Running" until it ends; Escape asks before aborting what is pending.
TEST(DownloadWindow, RunningFilesAreMarkedAndEscapeAsksBeforeAborting) {
    Tfrm_Download window;
    int asked = 0;
    window.AskYesNo = [&](const QString&) { return ++asked > 1; };
    window.ListBox1->addItems({QStringLiteral("a.jpg"), QStringLiteral("a.jpg")});
    window.show();
    window.fileStarted("a.jpg");
    EXPECT_EQ(entries(*window.ListBox1),
              QStringList({QStringLiteral("Running: a.jpg"), QStringLiteral("a.jpg")}));
    window.fileSaved("a.jpg");
    EXPECT_EQ(entries(*window.ListBox1), QStringList({QStringLiteral("a.jpg")}));
    QTest::keyClick(&window, Qt::Key_Escape); // answered No
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(&window, Qt::Key_Escape); // answered Yes
    EXPECT_FALSE(window.isVisible());
}

namespace {

class DownloadCommand : public testing::Test {
protected:
    void SetUp() override {
        server.respond = [](const std::string& request, int) {
            return lumi::test::scriptedReply(
                {request.find("/gone") != std::string::npos
                     ? httpResponse("HTTP/1.0 404 Not Found", {}, "<html>404</html>")
                     : httpResponse("HTTP/1.0 200 OK", {}, "\xFF\xD8\xFF image bytes")});
        };
    }

    void start(const std::string& options) {
        std::ofstream(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString())
            << "[Options]\r\n"
            << options;
        form = std::make_unique<TForm1>(
            scratch.filePath(QStringLiteral("lumisift.ini")).toStdString());
        form->ShowMessage = [this](const QString& message) { messages << message; };
        window = std::make_unique<Tfrm_Download>(form.get());
        form->Commands->frm_Download = window.get();
    }

    // Lists the addresses as search results and selects the given rows.
    void listAndSelect(const std::vector<std::string>& paths, const std::vector<int>& rows) {
        form->Engine->Searching = true;
        for (const std::string& p : paths)
            form->Engine->AddToListView(server.url(p), 0);
        form->Engine->Searching = false;
        form->Engine->results().publishPendingRows();
        auto* model = form->Results->ListView1->model();
        for (int row : rows)
            form->Results->ListView1->selectionModel()->select(
                model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // Runs the command; while the modal window is open, watch() runs every 20 ms and the
    // window is aborted after 20 seconds at the latest.
    void download(std::function<void()> watch = {}) {
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (watch) watch();
        });
        watcher.start(20);
        QTimer::singleShot(20000, window.get(), [this] { window->BitBtn1Click(); });
        form->Commands->GlimFade4Click();
    }

    QString saved(const QString& relative) const { return scratch.filePath(relative); }

    QTemporaryDir scratch;
    ScriptedServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<Tfrm_Download> window;
    QStringList messages;
};

} // namespace

// Guards failures in the window: the failed file is listed with its reason, leaves no file,
// and once nothing runs the window offers Close instead of closing or hanging at Abort.
TEST_F(DownloadCommand, FailedFileIsListedWithItsReasonAndTheWindowOffersClose) {
    start("SavePath=" + scratch.path().toStdString() + "\r\nNumberedList=1\r\n");
    form->Engine->SearchDirName = "cats";
    listAndSelect({"/ok.jpg", "/gone.jpg"}, {0, 1});
    QStringList queue, done, failed;
    QString button, summary;
    int percent = 0;
    download([&] {
        if (window->isVisible() && window->ListBox1->count() == 0 && button.isEmpty()) {
            summary = window->Label6->text();
            percent = window->Gauge1->PercentDone();
            queue = entries(*window->ListBox1);
            done = entries(*window->ListBox2);
            failed = entries(*window->ListBox3);
            button = window->BitBtn1->text();
            window->BitBtn1Click();
        }
    });
    EXPECT_EQ(queue, QStringList());
    EXPECT_EQ(done, QStringList({QStringLiteral("cats_1.jpg")})) << "the name it was saved under";
    EXPECT_EQ(failed, QStringList({QStringLiteral("gone.jpg: HTTP/1.0 404 Not Found")}));
    EXPECT_EQ(button, QStringLiteral("Close"));
    EXPECT_EQ(summary, QStringLiteral("1 saved, 1 failed"));
    EXPECT_EQ(percent, 100);
    EXPECT_TRUE(QFile::exists(saved(QStringLiteral("cats_1.jpg"))));
    EXPECT_FALSE(QFile::exists(saved(QStringLiteral("cats_2.jpg"))));
}

TEST_F(DownloadCommand, EmptySavePathShowsTheMessageAndStartsNothing) {
    start("SubDir=1\r\n");
    listAndSelect({"/a.jpg"}, {0});
    download();
    EXPECT_EQ(messages, QStringList({QStringLiteral("You must specify a directory first!")}));
    EXPECT_EQ(window->ListBox1->count(), 0);
    EXPECT_EQ(server.accepted(), 0);
    EXPECT_FALSE(window->isVisible());
}

// Guards the answers that come before any request: no selection, and a save folder that
// cannot be written, said in words.
TEST_F(DownloadCommand, NoSelectionOrAnUnwritableFolderIsSaidAndNothingStarts) {
    std::ofstream(scratch.filePath(QStringLiteral("file")).toStdString()) << "x";
    const std::string unwritable = scratch.filePath(QStringLiteral("file/pics")).toStdString();
    struct Case {
        std::string savePath;
        std::vector<int> rows;
        QString message;
    };
    const std::vector<Case> cases = {
        {scratch.path().toStdString(), {}, QStringLiteral("Please select a file first!")},
        {unwritable,
         {0},
         QString::fromStdString("Cannot write to " + unwritable + ": Not a directory")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.savePath);
        messages.clear();
        window.reset();
        form.reset();
        start("SavePath=" + c.savePath + "\r\n");
        listAndSelect({"/a.jpg"}, c.rows);
        bool shown = false;
        download([&] { shown = shown || window->isVisible(); });
        EXPECT_EQ(messages, QStringList({c.message}));
        EXPECT_FALSE(shown);
        EXPECT_EQ(server.accepted(), 0);
    }
}

// Guards a desktop logout mid-download: SIGTERM to the window program is Abort, then quit,
// so the progress window closes, its transfer stops and no temporary stays.
TEST_F(DownloadCommand, SigtermMidDownloadAbortsAndLeavesNoTemporary) {
    server.respond = [](const std::string&, int) {
        return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n\xFF\xD8\xFF partial"},
                                         ScriptedReply::Ending::StayOpen);
    };
    start("SavePath=" + scratch.path().toStdString() + "\r\n");
    listAndSelect({"/hang.jpg"}, {0});
    lumi::WindowSignals signals(*window);
    bool raised = false;
    download([&] {
        if (!raised && server.requests().size() == 1) raised = ::kill(::getpid(), SIGTERM) == 0;
    });
    EXPECT_TRUE(raised);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("lumisift.ini")});
}
