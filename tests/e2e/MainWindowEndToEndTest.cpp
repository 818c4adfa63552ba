// The main window against the sandbox: a phrase typed and Enter fill the results list with
// the sandbox's pictures; Abort returns to "Ready" and keeps the rows; selected rows are
// downloaded into the save folder while the progress window counts them down.
#include <map>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "SandboxProcess.h"
#include "common/EventLoopWait.h"
#include "engine/ResultsModel.h"
#include "engine/SearchEngine.h"
#include "files/unit_Download.h"
#include "shell/Main.h"
#include "widgets/GlimFade.h"
#include "shell/Commands.h"
#include "shell/GridThumbnails.h"
#include "shell/PickingViews.h"
#include "shell/ResultGrid.h"
#include "shell/ResultList.h"
#include "shell/SearchBar.h"

using lumi::test::SandboxProcess;
using lumi::test::waitUntil;

namespace {

// Points the program at the sandbox for the life of the object.
struct SandboxEnvironment {
    QStringList variables;
    explicit SandboxEnvironment(const SandboxProcess& sandbox) {
        const auto environment = sandbox.environment();
        for (const QString& key : environment.keys()) {
            if (!key.startsWith(QStringLiteral("LUMISIFT_"))) continue;
            qputenv(key.toLatin1().constData(), environment.value(key).toLatin1());
            variables << key;
        }
    }
    ~SandboxEnvironment() {
        for (const QString& key : variables)
            qunsetenv(key.toLatin1().constData());
    }
};

// The sandbox, the program pointed at it and its main window, shown and asking nothing.
struct WindowOverSandbox {
    SandboxProcess sandbox{lumi::test::kQuickSandbox};
    SandboxEnvironment environment{sandbox};
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form =
        std::make_unique<TForm1>(lumi::test::writeIni(dir, "SlowConnection=0\r\n").toStdString());
    WindowOverSandbox() {
        form->AskYesNo = [](const QString&) { return false; };
        form->OpenBrowser = [](const QUrl&) { return true; };
        form->ShowMessage = [](const QString&) {};
        form->show();
    }
};

} // namespace

TEST(MainWindowEndToEnd, EnterFillsTheListFromTheSandboxAndAbortKeepsTheRows) {
    WindowOverSandbox window;
    ASSERT_TRUE(window.sandbox.running()) << window.sandbox.error();
    auto& form = window.form;

    const std::string phrase = "red cars";
    // File name and size of every picture the sandbox expects, as the list shows them.
    std::multimap<QString, QString> expected;
    for (const auto& row : window.sandbox.expected(phrase)) {
        const auto tab = row.find('\t');
        const std::string url = row.substr(tab + 1);
        expected.emplace(QString::fromStdString(url.substr(url.rfind('/') + 1)),
                         QString::fromStdString(row.substr(0, tab)));
    }
    ASSERT_FALSE(expected.empty());

    QTest::keyClicks(form->Search->Edit1, QString::fromStdString(phrase));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    EXPECT_EQ(form->Search->Label7->text(), QStringLiteral("Searching..."));
    const QAbstractItemModel& rows = *form->Results->ListView1->model();
    ASSERT_TRUE(waitUntil([&] { return rows.rowCount() >= 10; }, 60000)) << rows.rowCount();

    QTest::mouseClick(form->Search->AbortButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] {
        return form->Search->Label7->text() == QStringLiteral("Ready") &&
               !form->Search->Label7->isHidden();
    }));
    EXPECT_TRUE(form->Search->SearchButton->isVisible());
    form->Engine->results().publishPendingRows();
    const int kept = rows.rowCount();
    EXPECT_GE(kept, 10);
    lumi::test::spinFor(500);
    EXPECT_EQ(rows.rowCount(), kept) << "no row arrives after the abort";
    for (int i = 0; i < kept; ++i) {
        const QString name = rows.index(i, 0).data().toString();
        const QString size = rows.index(i, 1).data(lumi::ResultsModel::ExactTextRole).toString();
        bool known = false;
        for (auto [it, end] = expected.equal_range(name); it != end; ++it)
            known |= it->second == size;
        EXPECT_TRUE(known) << name.toStdString() << " " << size.toStdString();
    }
    form.reset();
}

// With LUMISIFT_DOWNLOAD_SHOT=FILE.png the sandbox answers slowly and the progress window is
// grabbed into FILE.png mid-download (the README's picture).
TEST(MainWindowEndToEnd, SelectedRowsAreDownloadedAndTheWindowClosesByItself) {
    const QString shot = qEnvironmentVariable("LUMISIFT_DOWNLOAD_SHOT");
    QStringList arguments = lumi::test::kQuickSandbox;
    if (!shot.isEmpty()) arguments << QStringLiteral("--latency-ms") << QStringLiteral("700");
    SandboxProcess sandbox(arguments);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    SandboxEnvironment environment(sandbox);
    QTemporaryDir dir;
    const QString savePath = dir.filePath(QStringLiteral("pictures"));
    auto form = std::make_unique<TForm1>(
        lumi::test::writeIni(dir, "SlowConnection=" + std::string(shot.isEmpty() ? "0" : "1") +
                                      "\r\nSavePath=" + savePath.toStdString() + "\r\nSubDir=1\r\n")
            .toStdString());
    form->AskYesNo = [](const QString&) { return false; };
    form->OpenBrowser = [](const QUrl&) { return true; };
    form->ShowMessage = [](const QString&) {};
    Tfrm_Download window;
    form->Commands->frm_Download = &window;
    form->show();

    const int wanted = shot.isEmpty() ? 8 : 20;
    QTest::keyClicks(form->Search->Edit1, QStringLiteral("red cars"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    const QAbstractItemModel& rows = *form->Results->ListView1->model();
    ASSERT_TRUE(waitUntil([&] { return rows.rowCount() >= wanted + 12; }, 90000))
        << rows.rowCount();
    QTest::mouseClick(form->Search->AbortButton, Qt::LeftButton);
    form->Engine->results().publishPendingRows();

    // Rows with distinct file names, so that each gets a file of its own.
    std::set<QString> names;
    for (int row = 0; row < rows.rowCount() && int(names.size()) < wanted; ++row) {
        const QString name = rows.index(row, 0).data().toString();
        if (!names.insert(name).second) continue;
        form->Results->ListView1->selectionModel()->select(
            rows.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    ASSERT_EQ(int(names.size()), wanted);

    QTimer watcher;
    bool grabbed = false;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (shot.isEmpty() || grabbed || window.ListBox2->count() < 9 ||
            window.ListBox1->count() == 0)
            return;
        grabbed = window.grab().save(shot);
    });
    watcher.start(20);
    QTimer::singleShot(90000, &window, [&] { window.BitBtn1Click(); });
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(form->Commands->GlimFade4, Qt::LeftButton);
    EXPECT_LT(elapsed.elapsed(), 90000) << "the window closes by itself once every file is saved";
    EXPECT_FALSE(window.isVisible());
    if (!shot.isEmpty()) {
        EXPECT_TRUE(grabbed);
    }

    QStringList saved = QDir(savePath + QStringLiteral("/red cars")).entryList(QDir::Files);
    QStringList expected;
    for (const QString& name : names)
        expected << name;
    // The archives' pictures carry licences, credited in a file of their own beside them.
    saved.removeAll(QStringLiteral("CREDITS.txt"));
    saved.sort();
    expected.sort();
    EXPECT_EQ(saved, expected);
    form.reset();
}

// Sorted by size from the first rows on, the list stays sorted while the sandbox's rows
// arrive, and the Source column tells archives from sites. With LUMISIFT_WIDE_SHOT=FILE.png
// the window, made wide, is grabbed into FILE.png (the README's pictures).
TEST(MainWindowEndToEnd, RowsStaySortedWhileTheyArriveAndNameTheirSource) {
    WindowOverSandbox window;
    ASSERT_TRUE(window.sandbox.running()) << window.sandbox.error();
    auto& form = window.form;
    const QString shot = qEnvironmentVariable("LUMISIFT_WIDE_SHOT");
    if (!shot.isEmpty()) form->resize(form->screen()->availableGeometry().size() * 0.85);
    QTest::keyClicks(form->Search->Edit1, QStringLiteral("harbour lights"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    QTreeView& list = *form->Results->ListView1;
    list.sortByColumn(1, Qt::DescendingOrder);
    std::set<QString> sources;
    const auto cell = [&](int row, int column) { return list.model()->index(row, column).data(); };
    ASSERT_TRUE(waitUntil(
        [&] {
            for (int row = 0; row < list.model()->rowCount(); ++row) {
                EXPECT_TRUE(row == 0 || list.model()->index(row - 1, 1).data(lumi::ResultsModel::SortRole).toLongLong() >=
                                            list.model()->index(row, 1).data(lumi::ResultsModel::SortRole).toLongLong());
                sources.insert(cell(row, 2).toString().section(u':', 0, 0));
            }
            return !form->Engine->Searching;
        },
        90000));
    EXPECT_TRUE(sources.count(QStringLiteral("Openverse")) &&
                sources.count(QStringLiteral("127.0.0.1")));
    if (!shot.isEmpty()) {
        list.selectionModel()->select(list.model()->index(1, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        EXPECT_TRUE(form->grab().save(shot));
    }
    form.reset();
}

// The grid fills with thumbnails of the sandbox's pictures, from archives and sites alike, at
// the screen's pixel ratio (also run at 200 %). With LUMISIFT_GRID_SHOT=FILE.png the window,
// zoomed in and with two cells picked, is grabbed into FILE.png (the README's pictures).
TEST(MainWindowEndToEnd, TheGridShowsThumbnailsOfTheRowsOnScreen) {
    WindowOverSandbox window;
    ASSERT_TRUE(window.sandbox.running()) << window.sandbox.error();
    auto& form = window.form;
    form->resize(1040, 720);
    form->Grid->toggle();
    form->Grid->setThumbSize(192);
    QTest::keyClicks(form->Search->Edit1, QStringLiteral("harbour lights"));
    QTest::keyClick(form->Search->Edit1, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !form->Engine->Searching; }, 90000));
    // By size, largest first: archive rows and site rows mixed.
    form->Results->ListView1->sortByColumn(1, Qt::DescendingOrder);
    QListView& grid = *form->Grid->GridView;
    const auto shown = [&] {
        int ready = 0;
        for (int row = 0; row < 8 && row < grid.model()->rowCount(); ++row) {
            const QImage* image = nullptr;
            std::string reason;
            const QModelIndex index = form->Results->sortedModel()->mapToSource(
                grid.model()->index(row, 0));
            ready += form->Grid->thumbnails().state(form->Engine->FoundList[size_t(index.row())],
                                                    &image, &reason) ==
                     lumi::GridThumbnails::State::Ready;
        }
        return ready;
    };
    ASSERT_TRUE(waitUntil([&] { return shown() == 8; }, 30000)) << shown() << " of 8 shown";
    // Made for the cell's size in device pixels.
    const QImage* first = nullptr;
    std::string reason;
    form->Grid->thumbnails().state(
        form->Engine->FoundList[size_t(
            form->Results->sortedModel()->mapToSource(grid.model()->index(0, 0)).row())],
        &first, &reason);
    EXPECT_EQ(first->devicePixelRatio(), grid.devicePixelRatioF());
    EXPECT_TRUE(first->width() == qRound(192 * grid.devicePixelRatioF()) ||
                first->height() == qRound(144 * grid.devicePixelRatioF()))
        << first->width() << " x " << first->height();
    const QString shot = qEnvironmentVariable("LUMISIFT_GRID_SHOT");
    if (!shot.isEmpty()) {
        for (int row : {1, 4})
            grid.selectionModel()->select(grid.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        grid.setFocus();
        grid.selectionModel()->setCurrentIndex(grid.model()->index(4, 0),
                                               QItemSelectionModel::NoUpdate);
        lumi::test::spinFor(100); // the status row's new text laid out
        EXPECT_TRUE(form->grab().save(shot));
    }
    form.reset();
}
