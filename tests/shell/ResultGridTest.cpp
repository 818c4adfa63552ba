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
#include <QDateTime>
#include <QFile>
#include <QItemSelectionModel>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

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
#include "shell/ResultList.h"

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
    ASSERT_TRUE(waitUntil([&] { // the end moves on while rows are laid out
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
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    ASSERT_EQ(disk.write(kept, {picture, {kept}, -1, now}), "");
    ASSERT_EQ(disk.write(bad, {QByteArray("\xFF\xD8 not really"), {bad}, -1, now}), "");
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
    EXPECT_NO_THROW(lumi::decodeThumbnail(disk.read(bad).value().image)) << "replaced by the fetched one";
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
    ASSERT_EQ(disk.write(address, {bytesOf("plain.jpg"), origin, -1, weekAgo}), "");
    lumi::GridThumbnails thumbnails(scratch.filePath(QStringLiteral("lumisift.ini")).toStdString(),
                                    folder);
    ASSERT_TRUE(waitUntil([&] {
        thumbnails.want({{address, {address}}});
        const auto record = disk.read(address);
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
    ASSERT_EQ(lumi::ThumbnailDiskCache(folder).write(address, kept), "");
    std::promise<void> release;
    std::atomic<bool> started = false;
    auto thumbnails = std::make_unique<lumi::GridThumbnails>(
        scratch.filePath(QStringLiteral("lumisift.ini")).toStdString(), folder);
    thumbnails->Decode = [&started, held = release.get_future().share()](const QByteArray& bytes,
                                                                        int orientation) {
        started = true;
        held.wait();
        return lumi::decodeThumbnail(bytes, orientation);
    };
    ASSERT_TRUE(waitUntil([&] {
        thumbnails->want({{address, {address}}});
        return started.load();
    }));
    thumbnails.reset();
    release.set_value();
}
