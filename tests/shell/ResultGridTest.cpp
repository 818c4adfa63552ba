// The results grid in the main window (offscreen): one selection with the list, the switch
// and its setting, thumbnails asked for only by the cells on screen, and hostile bytes
// where a thumbnail should be; thumbnails kept on disk.
#include <atomic>
#include <filesystem>
#include <future>
#include <set>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QItemSelectionModel>
#include <QListView>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>

#include "base/AppPaths.h"
#include "base/ErrorReport.h"
#include "common/EventLoopWait.h"
#include "common/ExifSample.h"
#include "engine/SearchEngine.h"
#include "engine/ThumbnailDiskCache.h"
#include "net/ScriptedServer.h"
#include "picture/PictureDecode.h"
#include "shell/GridThumbnails.h"
#include "shell/Main.h"
#include "shell/ResultGrid.h"
#include "shell/Commands.h"
#include "shell/PickingViews.h"
#include "shell/ResultList.h"
#include "shell/SearchBar.h"
#include "widgets/GlimFade.h"
#include "shell/ResultMenu.h"
#include "shell/ResultStatus.h"
#include "shell/ViewerPanel.h"

using lumi::test::waitUntil;

namespace {

QByteArray bytesOf(const char* name) {
    QFile file(QString::fromUtf8(LUMISIFT_TEST_PICTURES) + QLatin1Char('/') + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ResultGridTest : ::testing::Test {
    QTemporaryDir scratch;
    std::string settingsPath = scratch.filePath(QStringLiteral("lumisift.ini")).toStdString();
    std::unique_ptr<TForm1> form;

    void open() {
        form = std::make_unique<TForm1>(settingsPath);
        form->AskYesNo = [](const QString&) { return false; };
        form->show();
    }
    void SetUp() override {
        lumi::setProgramFolder(scratch.path().toStdString());
        lumi::setErrorSink([](const std::string&) {});
        open();
    }
    void TearDown() override {
        form.reset();
        lumi::setErrorSink({});
        lumi::setProgramFolder({});
    }
    void list(const std::vector<std::string>& addresses) {
        form->Engine->Searching = true;
        for (const std::string& address : addresses)
            form->Engine->AddToListView(address, 0);
        form->Engine->Searching = false;
        ASSERT_TRUE(waitUntil([&] {
            return form->Grid->GridView->model()->rowCount() == int(addresses.size());
        }));
    }
};

} // namespace

TEST_F(ResultGridTest, BothViewsShareOneSelectionAndTheChoiceIsKept) {
    list({"http://h/a.jpg", "http://h/b.jpg", "http://h/c.jpg"});
    EXPECT_FALSE(form->Grid->showingGrid()) << "the list by default";
    QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier);
    ASSERT_TRUE(form->Grid->showingGrid());
    EXPECT_EQ(form->Grid->ViewSwitch->text(), QStringLiteral("List"));
    QListView& grid = *form->Grid->GridView;
    grid.setFocus();
    grid.setCurrentIndex(grid.model()->index(2, 0));
    grid.selectionModel()->clearSelection();
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_EQ(form->Results->selectedRows(), std::vector<size_t>{2}) << "Space selects";
    QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form->Results->selectedRows(), (std::vector<size_t>{0, 1, 2}));
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_EQ(form->Results->selectedRows(), (std::vector<size_t>{0, 1})) << "Space toggles";
    bool viewed = false;
    form->Results->OnView = [&viewed] { viewed = true; };
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_TRUE(viewed) << "Enter views";

    // Alt+G in either caption, and no other button of the window answers to it.
    std::set<QKeySequence> taken;
    for (const QAbstractButton* button : form->findChildren<QAbstractButton*>())
        if (!button->shortcut().isEmpty()) {
            EXPECT_TRUE(taken.insert(button->shortcut()).second) << button->text().toStdString();
        }
    EXPECT_EQ(taken.count(QKeySequence(Qt::ALT | Qt::Key_G)), 1u);
    // A button's shortcut clicks it a moment later.
    QTest::keyClick(form.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_TRUE(waitUntil([&] { return !form->Grid->showingGrid(); }));
    QTest::keyClick(form.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_TRUE(waitUntil([&] { return form->Grid->showingGrid(); }));

    form.reset();
    open();
    EXPECT_TRUE(form->Grid->showingGrid()) << "View=grid was kept";
    form->Grid->toggle();
    form.reset();
    open();
    EXPECT_FALSE(form->Grid->showingGrid());
}

TEST_F(ResultGridTest, OnlyCellsOnScreenAskAndScrolledAwayOnesAreDropped) {
    lumi::test::ScriptedServer web;
    web.respond = [](const std::string&, int) {
        return lumi::test::scriptedReply({}, lumi::test::ScriptedReply::Ending::StayOpen);
    };
    std::vector<std::string> addresses;
    for (int i = 0; i < 400; ++i)
        addresses.push_back(web.url("/" + std::to_string(i) + ".jpg"));
    list(addresses);
    form->resize(1200, 900);
    form->Grid->toggle();
    QListView& grid = *form->Grid->GridView;
    lumi::ThumbnailFetches& fetches = form->Grid->thumbnails().fetches();
    ASSERT_TRUE(waitUntil([&] { return fetches.running() == lumi::ThumbnailFetches::MostPerHost; }));
    const auto onScreenOrAhead = [&grid](int row) {
        const QRect screen = grid.viewport()->rect();
        return grid.visualRect(grid.model()->index(row, 0))
            .intersects(screen.adjusted(0, 0, 0, screen.height()));
    };
    size_t wanted = 0;
    for (int i = 0; i < 400; ++i) {
        EXPECT_EQ(fetches.has(addresses[size_t(i)]), onScreenOrAhead(i)) << "row " << i;
        wanted += onScreenOrAhead(i);
    }
    ASSERT_GT(wanted, lumi::ThumbnailFetches::MostAtOnce);
    ASSERT_LT(wanted, 200u);
    // To the end, as far as the cells laid out in batches reach by then.
    ASSERT_TRUE(waitUntil([&] {
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        return fetches.has(addresses.back());
    }));
    EXPECT_FALSE(fetches.has(addresses[wanted - 1])) << "scrolled away before it started";
    for (const std::string& request : web.requests())
        EXPECT_EQ(request.find("/" + std::to_string(wanted - 1) + ".jpg "), std::string::npos);
}

TEST(GridThumbnails, HostileBytesAreRefusedAndAPictureFitsItsBox) {
    // A PNG header that claims 100000 x 100000 pixels.
    const QByteArray hugePng = QByteArray::fromHex(
        "89504e470d0a1a0a0000000d49484452000186a0000186a00806000000");
    for (const QByteArray& hostile : {QByteArray("<html>404</html>"), bytesOf("truncated.jpg").left(200),
                                      hugePng, bytesOf("huge-header.jpg"), QByteArray()})
        EXPECT_THROW(lumi::decodeThumbnail(hostile), lumi::PictureError) << hostile.left(16).toStdString();
    const QImage plain = lumi::decodeThumbnail(bytesOf("plain.jpg"));
    EXPECT_TRUE(plain.width() <= lumi::ThumbWidth && plain.height() <= lumi::ThumbHeight &&
                !plain.isNull());
    EXPECT_EQ(plain.format(), QImage::Format_RGB32) << "painted without a conversion";
    // Cut where its scan begins: nothing of it drawn.
    const QByteArray picture = bytesOf("plain.jpg");
    try {
        lumi::decodeThumbnail(picture.left(picture.indexOf("\xFF\xDA") + 14));
        ADD_FAILURE() << "a picture cut short decoded";
    } catch (const lumi::PictureError& e) {
        EXPECT_STREQ(e.what(), lumi::PictureCutShort);
    }
    EXPECT_NO_THROW(lumi::decodeThumbnail(picture.left(picture.size() - 2)))
        << "all of it drawn, only the end mark missing";
}

// A camera's picture (64 x 48, turned a quarter): the cell shows its embedded thumbnail
// (32 x 24) standing as the picture does, after one request for the first bytes; when that
// thumbnail does not decode, the picture itself.
TEST(GridThumbnails, AnEmbeddedThumbnailShowsUprightAfterOneRequestOrElseThePicture) {
    const std::vector<std::tuple<QByteArray, QSize, size_t>> cases = {
        {bytesOf("cmyk.jpg"), QSize(24, 32), 1}, {"\xFF\xD8\xFF broken", QSize(48, 64), 2}};
    for (const auto& [embedded, size, requests] : cases) {
        QTemporaryDir scratch;
        const std::string camera =
            lumi::test::withExif(bytesOf("plain.jpg"), 6, false, embedded).toStdString();
        lumi::test::ScriptedServer web;
        web.respond = [&](const std::string&, int) {
            return lumi::test::scriptedReply({lumi::test::httpResponse(
                "HTTP/1.0 200 OK", {"Content-Length: " + std::to_string(camera.size())}, camera)});
        };
        lumi::GridThumbnails thumbnails(
            scratch.filePath(QStringLiteral("lumisift.ini")).toStdString(),
            scratch.path().toStdString() + "/thumbs/");
        const std::string address = web.url("/camera.jpg");
        const QImage* image = nullptr;
        std::string reason;
        ASSERT_TRUE(waitUntil([&] {
            thumbnails.want({{address, lumi::thumbnailSources(address, {})}});
            return thumbnails.state(address, &image, &reason) == lumi::GridThumbnails::State::Ready;
        })) << reason;
        EXPECT_EQ(image->size(), size);
        EXPECT_EQ(web.requests().size(), requests);
    }
}

TEST(GridThumbnails, KeptThumbnailsShowWithoutTheNetworkAndBadOnesAreFetchedAnew) {
    QTemporaryDir scratch;
    const std::string folder = scratch.path().toStdString() + "/thumbs/";
    const QByteArray picture = bytesOf("plain.jpg");
    lumi::test::ScriptedServer web;
    web.respond = [&](const std::string&, int) {
        return lumi::test::scriptedReply({lumi::test::httpResponse(
            "HTTP/1.0 200 OK", {}, picture.toStdString())});
    };
    const std::string kept = web.url("/kept.jpg"), bad = web.url("/bad.jpg");
    const lumi::ThumbnailDiskCache disk(folder);
    const QSize keptAt = lumi::keptThumbnailBox(1);
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    ASSERT_EQ(disk.write(lumi::thumbnailDiskKey(kept, keptAt), {picture, {kept}, -1, now}), "");
    ASSERT_EQ(disk.write(lumi::thumbnailDiskKey(bad, keptAt),
                         {QByteArray("\xFF\xD8 not really"), {bad}, -1, now}),
              "");
    lumi::GridThumbnails thumbnails(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString(),
                                    folder);
    const auto ready = [&] {
        thumbnails.want({{kept, {kept}}, {bad, {bad}}});
        const QImage* image = nullptr;
        std::string reason;
        return thumbnails.state(kept, &image, &reason) == lumi::GridThumbnails::State::Ready &&
               thumbnails.state(bad, &image, &reason) == lumi::GridThumbnails::State::Ready;
    };
    ASSERT_TRUE(waitUntil(ready, 10000));
    ASSERT_EQ(web.requests().size(), 1u);
    EXPECT_NE(web.requests()[0].find("/bad.jpg "), std::string::npos);
    EXPECT_NO_THROW(
        lumi::decodeThumbnail(disk.read(lumi::thumbnailDiskKey(bad, keptAt)).value().image))
        << "replaced by the fetched one";

    // A picture the viewer decoded gives its cell a thumbnail, kept on disk, with no request.
    const std::string viewed = web.url("/viewed.jpg");
    QImage decoded(800, 600, QImage::Format_RGB32);
    decoded.fill(Qt::darkCyan);
    thumbnails.adopt(viewed, decoded);
    const QImage* image = nullptr;
    std::string reason;
    ASSERT_TRUE(waitUntil([&] {
        return thumbnails.state(viewed, &image, &reason) == lumi::GridThumbnails::State::Ready;
    }));
    EXPECT_EQ(image->size(), QSize(lumi::ThumbWidth, lumi::ThumbHeight));
    EXPECT_EQ(web.requests().size(), 1u);
    EXPECT_NO_THROW(
        lumi::decodeThumbnail(disk.read(lumi::thumbnailDiskKey(viewed, keptAt)).value().image));
}

// The keys of both views, in order: picks survive moving, Space toggles, Escape and
// Ctrl+Shift+A clear; the commands give the focus back to the cell; the viewer steps.
TEST_F(ResultGridTest, PicksSurviveTheKeysAndTheFocusComesBack) {
    std::filesystem::copy_file(LUMISIFT_LOADING_PICTURE, lumi::loadingPicturePath());
    std::vector<std::string> addresses;
    for (int i = 0; i < 40; ++i)
        addresses.push_back("http://127.0.0.1:1/p" + std::to_string(i) + ".jpg");
    list(addresses);
    form->resize(900, 700);
    std::vector<QString> messages;
    form->ShowMessage = [&](const QString& text) {
        messages.push_back(text);
        form->Search->Edit1->setFocus(); // as a box takes the focus
    };
    struct Step {
        std::vector<std::pair<int, Qt::KeyboardModifiers>> keys;
        std::vector<size_t> picks;
    };
    for (const bool grid : {true, false}) {
        if (form->Grid->showingGrid() != grid) form->Grid->toggle();
        QAbstractItemView* view = form->Grid->shownView();
        view->setFocus();
        view->setCurrentIndex(view->model()->index(0, 0));
        view->selectionModel()->clearSelection();
        const int next = grid ? Qt::Key_Right : Qt::Key_Down;
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        const Step steps[] = {
            {{{Qt::Key_Space, none}}, {0}},
            {{{next, none}, {next, none}, {Qt::Key_Space, none}}, {0, 2}},
            {{{Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}}, {0, 2}},
            {{{Qt::Key_End, none}, {Qt::Key_Space, none}}, {0, 2, 39}},
            {{{Qt::Key_Home, none}, {Qt::Key_Space, none}}, {2, 39}},
            {{{Qt::Key_Escape, none}}, {}},
            {{{Qt::Key_A, Qt::ControlModifier}}, {}},
            {{{Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier}}, {}},
        };
        for (size_t i = 0; i < std::size(steps); ++i) {
            for (const auto& [key, modifiers] : steps[i].keys)
                QTest::keyClick(view, Qt::Key(key), modifiers);
            std::vector<size_t> expected = steps[i].picks;
            if (i == 6)
                for (size_t row = 0; row < addresses.size(); ++row) expected.push_back(row);
            EXPECT_EQ(form->Results->selectedRows(), expected) << (grid ? "grid" : "list") << i;
            if (i == 2) {
                EXPECT_GT(view->currentIndex().row(), 2) << "Page Down moved the cell";
            }
        }
        // One row to act on: the slide show is off and says why; the focus comes back.
        QTest::keyClick(view, Qt::Key_Right);
        const int current = view->currentIndex().row();
        EXPECT_FALSE(form->Commands->GlimFade8->isEnabled());
        EXPECT_TRUE(form->Commands->GlimFade6->isEnabled()) << "the current cell can be viewed";
        QTest::keyClick(form.get(), Qt::Key_F5);
        ASSERT_EQ(messages.size(), 1u);
        messages.clear();
        EXPECT_TRUE(view->hasFocus());
        EXPECT_EQ(view->currentIndex().row(), current);
        // The viewer steps through every row from the current one; Escape comes back to the
        // cell it showed last.
        QTest::keyClick(view, Qt::Key_Return);
        QWidget* viewer = form->Viewer->panel_Viewer;
        ASSERT_TRUE(form->ViewerShown());
        const auto caption = [&] { return form->Viewer->ViewCaption->text(); };
        EXPECT_TRUE(caption().endsWith(QStringLiteral("%1 of 40").arg(current + 1))) << caption().toStdString();
        QTest::keyClick(viewer, Qt::Key_Right);
        QTest::keyClick(viewer, Qt::Key_Space);
        EXPECT_TRUE(caption().endsWith(QStringLiteral("%1 of 40").arg(current + 3)));
        QTest::keyClick(viewer, Qt::Key_Backspace);
        EXPECT_TRUE(caption().contains(QStringLiteral("p%1.jpg").arg(current + 1)));
        QTest::keyClick(viewer, Qt::Key_End);
        EXPECT_TRUE(caption().endsWith(QStringLiteral("40 of 40")));
        QTest::keyClick(viewer, Qt::Key_Escape);
        EXPECT_FALSE(form->ViewerShown());
        EXPECT_TRUE(view->hasFocus());
        EXPECT_EQ(view->currentIndex().row(), 39);
    }
}

// The menu and the clipboard: the picks' addresses one a line, the current picture, and the
// menu's commands from Shift+F10 on the current cell.
TEST_F(ResultGridTest, TheMenuAndTheClipboardCarryThePicks) {
    list({"http://h/a.jpg", "http://h/c.jpg", "http://h/d.jpg"});
    std::vector<QUrl> opened;
    form->OpenBrowser = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    form->Grid->toggle();
    QAbstractItemView* view = form->Grid->shownView();
    view->setFocus();
    QItemSelectionModel& picks = *view->selectionModel();
    const auto pick = [&](int row) {
        picks.select(view->model()->index(row, 0),
                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    picks.setCurrentIndex(view->model()->index(1, 0), QItemSelectionModel::NoUpdate);
    QClipboard& clipboard = *QGuiApplication::clipboard();
    struct Case {
        std::vector<int> picked;
        std::function<void()> press;
        QString text;
        std::vector<QUrl> opened;
    };
    const auto menuItem = [&](const QString& caption) {
        return [&, caption] {
            QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
            QMenu* menu = form->Menu->lastMenu();
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions())
                if (action->text().remove(u'&') == caption) action->trigger();
            menu->close();
        };
    };
    const Case cases[] = {
        {{0, 2}, [&] { QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier); },
         QStringLiteral("http://h/a.jpg\nhttp://h/d.jpg"), {}},
        {{}, [&] { QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier); },
         QStringLiteral("http://h/c.jpg"), {}},
        {{0}, [&] { QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier); },
         QStringLiteral("http://h/c.jpg"), {}},
        {{2}, menuItem(QStringLiteral("Copy address")), QStringLiteral("http://h/d.jpg"), {}},
        {{}, menuItem(QStringLiteral("Open picture in browser")), QString(),
         {QUrl(QStringLiteral("http://h/c.jpg"))}},
    };
    for (const Case& c : cases) {
        picks.clearSelection();
        for (int row : c.picked) pick(row);
        clipboard.clear();
        opened.clear();
        c.press();
        EXPECT_EQ(clipboard.text(), c.text);
        if (!c.text.isEmpty()) {
            EXPECT_EQ(clipboard.mimeData()->urls().size(), c.text.count(u'\n') + 1);
        }
        EXPECT_EQ(opened, c.opened);
        EXPECT_TRUE(view->hasFocus());
    }
    // A drag carries the picks' addresses, as the clipboard does.
    picks.clearSelection();
    pick(2);
    pick(0);
    const std::unique_ptr<QMimeData> dragged(form->Grid->GridView->OnDrag());
    EXPECT_EQ(dragged->urls(), (QList<QUrl>{QUrl(QStringLiteral("http://h/a.jpg")),
                                            QUrl(QStringLiteral("http://h/d.jpg"))}));
    QStringList captions;
    for (QAction* action : form->Menu->lastMenu()->actions())
        if (!action->isSeparator()) captions.push_back(action->text().remove(u'&'));
    EXPECT_EQ(captions.join(u','), QStringLiteral("View,Download,Visit page,Open picture in browser,"
                                                  "Copy address,Copy picture,Sort by"));
}

// Zoom from the keys, the wheel and the slider, kept; cells share the width out; the wheel
// scrolls a third of a row and Page Down a screen less a row.
TEST_F(ResultGridTest, ZoomIsKeptCellsFillTheWidthAndScrollingStepsByRows) {
    std::vector<std::string> addresses;
    for (int i = 0; i < 300; ++i)
        addresses.push_back("http://127.0.0.1:1/z" + std::to_string(i) + ".jpg");
    list(addresses);
    form->resize(1000, 800);
    form->Grid->toggle();
    lumi::ResultCells& grid = *form->Grid->GridView;
    grid.setFocus();
    const struct {
        std::function<void()> act;
        int size;
    } steps[] = {
        {[&] { QTest::keyClick(form.get(), Qt::Key_Plus, Qt::ControlModifier); }, 192},
        {[&] { QTest::keyClick(form.get(), Qt::Key_Equal, Qt::ControlModifier); }, 224},
        {[&] { QTest::keyClick(form.get(), Qt::Key_Minus, Qt::ControlModifier); }, 192},
        {[&] { QTest::keyClick(form.get(), Qt::Key_0, Qt::ControlModifier); }, 160},
        {[&] { form->Grid->ZoomSlider->setValue(1000); }, 320},
        {[&] { QTest::keyClick(form.get(), Qt::Key_Plus, Qt::ControlModifier); }, 320},
        {[&] { form->Grid->setThumbSize(10); }, 96},
        {[&] {
             QWheelEvent turn(QPointF(20, 20), grid.viewport()->mapToGlobal(QPointF(20, 20)), {},
                              {0, 120}, Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(grid.viewport(), &turn);
         },
         128},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(form->Grid->thumbSize(), step.size);
        EXPECT_EQ(form->Grid->ZoomSlider->value(), step.size);
        EXPECT_EQ(form->Grid->thumbnails().box(), QSize(step.size, step.size * 3 / 4));
        QApplication::processEvents();
        // No band at the right: the columns take the whole width.
        const int columns = grid.columns();
        EXPECT_GE(grid.gridSize().width(), grid.cellSize().width());
        EXPECT_GT(grid.gridSize().width() * columns, grid.viewport()->width() - columns);
    }
    const int row = grid.gridSize().height();
    QScrollBar& bar = *grid.verticalScrollBar();
    EXPECT_NEAR(bar.singleStep() * QApplication::wheelScrollLines(), row / 3.0,
                QApplication::wheelScrollLines());
    grid.setCurrentIndex(grid.model()->index(0, 0));
    bar.setValue(0);
    QTest::keyClick(&grid, Qt::Key_PageDown);
    const int rows = (grid.viewport()->height() - row) / row;
    EXPECT_EQ(grid.currentIndex().row(), rows * grid.columns());
    EXPECT_EQ(bar.value(), std::min(bar.maximum(), rows * row));

    form.reset();
    open();
    EXPECT_EQ(form->Grid->thumbSize(), 128) << "[Window] ThumbSize kept";
}

// The row above the views: how many are picked and their size; how a download ended, until
// the next search, with its folder a key away.
TEST_F(ResultGridTest, TheStatusRowSaysPicksAndTheLastDownload) {
    form->Engine->Searching = true;
    form->Engine->AddToListView("http://h/a.jpg", 1500000);
    form->Engine->AddToListView("http://h/b.jpg", 2500000);
    form->Engine->AddToListView("http://h/c.jpg", 0);
    form->Engine->Searching = false;
    ASSERT_TRUE(waitUntil([&] { return form->Results->sortedModel()->rowCount() == 3; }));
    QItemSelectionModel& picks = *form->Results->ListView1->selectionModel();
    const auto pickOnly = [&](std::vector<int> rows) {
        picks.clearSelection();
        for (int row : rows)
            picks.select(form->Results->sortedModel()->index(row, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        return form->Status->Picks->text();
    };
    EXPECT_EQ(pickOnly({}), QString());
    EXPECT_EQ(pickOnly({0, 1}), QStringLiteral("2 picked, 4.0 MB"));
    EXPECT_EQ(pickOnly({0, 2}), QStringLiteral("2 picked")) << "a size unknown";

    std::vector<QUrl> opened;
    form->OpenBrowser = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    form->Status->downloadDone(12, 12, "/tmp/pics");
    EXPECT_EQ(form->Status->Done->text(), QStringLiteral("12 saved to /tmp/pics"));
    EXPECT_FALSE(form->Status->OpenFolder->isHidden());
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/pics"))});
    form->Status->downloadDone(3, 5, "/tmp/pics");
    EXPECT_EQ(form->Status->Done->text(), QStringLiteral("3 of 5 saved to /tmp/pics"));
    form->Search->Edit1->setText(QStringLiteral("next"));
    form->Search->SearchButtonClick();
    EXPECT_EQ(form->Status->Done->text(), QString());
    EXPECT_TRUE(form->Status->OpenFolder->isHidden());
}

// A picture over ThumbMaxKB stays a "large picture" in the next run without a request.
TEST(GridThumbnails, ALargePictureIsKnownLargeInTheNextRun) {
    QTemporaryDir scratch;
    const std::string settings = scratch.filePath(QStringLiteral("lumisift.ini")).toStdString();
    std::ofstream(settings) << "[Options]\nThumbMaxKB=1\n";
    const std::string folder = scratch.path().toStdString() + "/thumbs/";
    lumi::test::ScriptedServer web;
    web.respond = [](const std::string&, int) {
        return lumi::test::scriptedReply({lumi::test::httpResponse(
            "HTTP/1.0 200 OK", {"Content-Length: 4000", "Content-Type: image/jpeg"},
            std::string(4000, 'x'))});
    };
    const std::string address = web.url("/big.jpg");
    const auto settled = [&](lumi::GridThumbnails& thumbnails) {
        const QImage* image = nullptr;
        std::string reason;
        auto state = lumi::GridThumbnails::State::Unknown;
        waitUntil([&] {
            thumbnails.want({{address, lumi::thumbnailSources(address, {})}});
            state = thumbnails.state(address, &image, &reason);
            return state != lumi::GridThumbnails::State::Unknown &&
                   state != lumi::GridThumbnails::State::Waiting;
        });
        return state;
    };
    {
        lumi::GridThumbnails first(settings, folder);
        EXPECT_EQ(settled(first), lumi::GridThumbnails::State::Large);
        lumi::test::spinFor(200); // the verdict reaches the disk
    }
    const auto verdict = lumi::ThumbnailDiskCache(folder).read(
        lumi::thumbnailDiskKey(address, lumi::keptThumbnailBox(1)));
    ASSERT_TRUE(verdict.has_value());
    EXPECT_TRUE(verdict->large);
    EXPECT_TRUE(verdict->image.isEmpty());
    const size_t asked = web.requests().size();
    lumi::GridThumbnails second(settings, folder);
    EXPECT_EQ(settled(second), lumi::GridThumbnails::State::Large);
    EXPECT_EQ(web.requests().size(), asked);
    // "Load thumbnail" fetches it whatever its size (these bytes then prove no picture).
    second.loadAnyway(address);
    EXPECT_EQ(settled(second), lumi::GridThumbnails::State::Broken);
    EXPECT_GT(web.requests().size(), asked);
}

// A kept thumbnail a week old shows at once, and its source is asked whether it changed: a
// 304 keeps it for another week.
TEST(GridThumbnails, AWeekOldThumbnailIsAskedAgainWithItsValidators) {
    QTemporaryDir scratch;
    const std::string folder = scratch.path().toStdString() + "/thumbs/";
    lumi::test::ScriptedServer web;
    web.respond = [&](const std::string&, int) {
        return lumi::test::scriptedReply({"HTTP/1.0 304 Not Modified\r\n\r\n"});
    };
    const std::string address = web.url("/p.jpg");
    lumi::ThumbnailSource origin(address);
    origin.etag = "\"v1\"";
    origin.lastModified = "Mon, 01 Dec 2025 10:00:00 GMT";
    const int64_t weekAgo = QDateTime::currentSecsSinceEpoch() - lumi::ThumbRecheckSeconds;
    const lumi::ThumbnailDiskCache disk(folder);
    const std::string diskKey = lumi::thumbnailDiskKey(address, lumi::keptThumbnailBox(1));
    ASSERT_EQ(disk.write(diskKey, {bytesOf("plain.jpg"), origin, -1, weekAgo}), "");
    lumi::GridThumbnails thumbnails(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString(),
                                    folder);
    ASSERT_TRUE(waitUntil([&] {
        thumbnails.want({{address, {address}}});
        const auto record = disk.read(diskKey);
        return record && record->checkedAt > weekAgo;
    }));
    ASSERT_EQ(web.requests().size(), 1u);
    EXPECT_NE(web.requests()[0].find("\r\nIf-None-Match: \"v1\"\r\nIf-Modified-Since: Mon, 01 "
                                     "Dec 2025 10:00:00 GMT\r\n"),
              std::string::npos);
}

// Quitting does not wait for a decoder held up (here by the test) beyond a moment.
TEST(GridThumbnails, QuittingDoesNotWaitForABusyDecoder) {
    QTemporaryDir scratch;
    const std::string folder = scratch.path().toStdString() + "/thumbs/", address = "http://h/p";
    const lumi::ThumbnailRecord kept{bytesOf("plain.jpg"), {address}, -1, 0};
    ASSERT_EQ(lumi::ThumbnailDiskCache(folder).write(
                  lumi::thumbnailDiskKey(address, lumi::keptThumbnailBox(1)), kept),
              "");
    std::promise<void> release;
    std::atomic<bool> started = false;
    auto thumbnails = std::make_unique<lumi::GridThumbnails>(
        scratch.filePath(QStringLiteral("lumisift.ini")).toStdString(), folder);
    thumbnails->Decode = [&started, held = release.get_future().share()](const QByteArray& bytes,
                                                                        int orientation, QSize box) {
        started = true;
        held.wait();
        return lumi::decodeThumbnail(bytes, orientation, box);
    };
    ASSERT_TRUE(waitUntil([&] {
        thumbnails->want({{address, {address}}});
        return started.load();
    }));
    thumbnails.reset();
    release.set_value();
}
