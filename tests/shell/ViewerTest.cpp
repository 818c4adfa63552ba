// The viewer and the slide show in the main window, fetching pictures from a loopback web
// server into a scratch program folder.
#include <chrono>
#include <climits>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include <QBuffer>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "base/AppPaths.h"
#include "base/ErrorReport.h"
#include "common/EventLoopWait.h"
#include "engine/FileTransfers.h"
#include "engine/SearchEngine.h"
#include "engine/SlideShow.h"
#include "picture/PictureFit.h"
#include "shell/Main.h"
#include "shell/ResultList.h"
#include "shell/ViewerPanel.h"
#include "shell/Commands.h"

using lumi::test::waitUntil;

namespace {

QByteArray jpegOf(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

// Serves /<W>x<H>.jpg as a JPEG of that size, /page.jpg as HTML, else 404; /held/... answers
// only once release() is called.
class PictureServer {
public:
    PictureServer() {
        server_.Get(R"(/(held/)?(\d+)x(\d+)\.jpg)", [this](const httplib::Request& req,
                                                           httplib::Response& res) {
            if (req.matches[1].length() > 0) {
                std::unique_lock<std::mutex> lock(mutex_);
                released_.wait(lock, [this] { return open_; });
            }
            const QByteArray bytes =
                jpegOf({std::stoi(req.matches[2].str()), std::stoi(req.matches[3].str())}, Qt::red);
            res.set_content(bytes.toStdString(), "image/jpeg");
        });
        server_.Get("/page.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>moved</body></html>", "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PictureServer() {
        release();
        server_.stop();
        thread_.join();
    }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        released_.notify_all();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    int port_ = 0;
};

class ViewerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        lumi::setProgramFolder(scratch.path().toStdString());
        std::filesystem::copy_file(LUMISIFT_LOADING_PICTURE, lumi::loadingPicturePath());
        lumi::setErrorSink([this](const std::string& text) { reported.push_back(text); });
        form = std::make_unique<TForm1>(
            scratch.filePath(QStringLiteral("lumisift.ini")).toStdString());
        form->AskYesNo = [](const QString&) { return false; };
        form->ShowMessage = [this](const QString& message) { messages.push_back(message); };
        form->show();
        ASSERT_NE(form->Engine, nullptr);
    }
    void TearDown() override {
        form.reset();
        lumi::setErrorSink({});
        lumi::setProgramFolder({});
    }

    // Lists the addresses as result rows (as a search would) and selects the given rows.
    void listAndSelect(const std::vector<std::string>& addresses, std::vector<int> selected) {
        form->Engine->Searching = true;
        for (const std::string& address : addresses)
            form->Engine->AddToListView(address, 0);
        form->Engine->Searching = false;
        ASSERT_TRUE(waitUntil([&] {
            return form->Results->ListView1->model()->rowCount() ==
                   int(form->Engine->FoundList.size());
        }));
        auto* selection = form->Results->ListView1->selectionModel();
        for (int row : selected)
            selection->select(form->Results->ListView1->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // Views the row alone, as a click on it and View would.
    void viewRow(int row) {
        form->Results->ListView1->selectionModel()->select(
            form->Results->ListView1->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        form->Commands->GlimFade6Click();
    }

    void pressEscape() {
        char key = 27;
        form->FormKeyPress(key);
    }

    bool slideshowFolderEmpty() const {
        const std::filesystem::path folder = lumi::slideshowFolder();
        return !std::filesystem::exists(folder) || std::filesystem::is_empty(folder);
    }

    void expectFitted() const {
        const lumi::PictureFit fit = lumi::fitPicture(form->Viewer->ViewPicture.natural(),
                                                      form->Viewer->panel_Viewer->size());
        EXPECT_EQ(form->Viewer->ViewImage->geometry(), fit.place);
    }

    QTemporaryDir scratch;
    std::unique_ptr<TForm1> form;
    std::vector<QString> messages;
    std::vector<std::string> reported;
};

TEST_F(ViewerTest, SelectionMessages) {
    listAndSelect({"http://127.0.0.1:1/a.jpg", "http://127.0.0.1:1/b.jpg"}, {});
    ASSERT_EQ(form->Results->ListView1->model()->rowCount(), 2);
    form->Commands->GlimFade6Click();
    EXPECT_FALSE(form->ViewerShown()); // the message is said over the list
    EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("Please select a file first!")});

    listAndSelect({}, {1});
    form->Commands->GlimFade8Click();
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_EQ(messages.back(), QStringLiteral("You must select at least two files first!"));
    EXPECT_TRUE(form->Engine->ViewList.empty());
}

TEST_F(ViewerTest, ViewShowsTheFittedPictureRefitsOnResizeAndRemovesItsFile) {
    PictureServer server;
    listAndSelect({server.url("/800x600.jpg")}, {0});
    // The caption counts the bytes while they come, then gives the picture's size.
    std::vector<QString> captions;
    const auto counted = form->Transfers->OnProgress;
    form->Transfers->OnProgress = [&](const std::string& path, int64_t bytes) {
        counted(path, bytes);
        captions.push_back(form->Viewer->ViewCaption->text());
    };
    QTest::mouseDClick(form->Results->ListView1->viewport(), Qt::LeftButton, {}, {5, 5});
    EXPECT_EQ(form->Viewer->ViewPicture.natural(), QSize(401, 313)); // the loading picture first,
    expectFitted(); // centred in the panel it shows in
    ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewPicture.natural() == QSize(800, 600); }));
    ASSERT_FALSE(captions.empty());
    EXPECT_TRUE(captions.back().contains(QStringLiteral(" received"))) << captions.back().toStdString();
    EXPECT_EQ(form->Viewer->ViewCaption->text(), QStringLiteral("800x600.jpg   \u00b7   800 \u00d7 600   \u00b7   1 of 1"));
    EXPECT_TRUE(form->ViewerShown());
    EXPECT_EQ(form->Viewer->panel_Viewer->size(), form->Panel3->size());
    expectFitted();
    EXPECT_TRUE(slideshowFolderEmpty());

    form->resize(900, 700);
    ASSERT_TRUE(
        waitUntil([&] { return form->Viewer->panel_Viewer->width() == form->Panel3->width(); }));
    expectFitted();
    EXPECT_GT(form->Viewer->ViewImage->width(), 500);
    // Decoded scaled for the first panel, the picture is decoded again to fill this one.
    EXPECT_LT(form->Viewer->ViewImage->pixmap().width(), 800);
    ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewImage->pixmap().width() == 800; }));
    expectFitted();

    pressEscape();
    const QRect placed = form->Viewer->ViewImage->geometry();
    form->resize(700, 500);
    waitUntil([&] { return form->Panel3->width() == 700 - form->Commands->Panel2->width(); });
    EXPECT_EQ(form->Viewer->ViewImage->geometry(), placed); // the hidden viewer is left alone
}

TEST_F(ViewerTest, UnloadablePictureReportsAndKeepsWhatIsOnScreen) {
    const std::string pictures = LUMISIFT_TEST_PICTURES;
    form->Viewer->ViewImages(pictures + "/missing.jpg");
    EXPECT_EQ(reported, std::vector<std::string>{"error code : #0052 (ViewImages)"});
    EXPECT_FALSE(form->ViewerShown());

    // Read as what its bytes are, as the grid's thumbnail is.
    form->Viewer->ViewImages(pictures + "/gif-named.jpg");
    EXPECT_TRUE(form->ViewerShown());
    EXPECT_EQ(reported.size(), 1u);
    form->Viewer->ViewImages(pictures + "/plain.jpg");
    ASSERT_TRUE(form->ViewerShown());
    form->Viewer->ViewImages(pictures + "/huge-header.jpg");
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_EQ(form->Viewer->ViewPicture.natural(), QSize(64, 48));
    EXPECT_EQ(form->Viewer->ViewImage->pixmap().size(), QSize(64, 48));
}

TEST_F(ViewerTest, SlideShowShowsEachSelectedPictureInTurnAndTheLastStays) {
    PictureServer server;
    form->Viewer->SlideShowTimer->setInterval(200);
    listAndSelect(
        {server.url("/100x80.jpg"), server.url("/120x90.jpg"), server.url("/140x100.jpg")},
        {0, 1, 2});
    form->Commands->GlimFade8Click();
    std::vector<QSize> seen;
    ASSERT_TRUE(waitUntil([&] {
        const QSize now = form->Viewer->ViewPicture.natural();
        if (seen.empty() || seen.back() != now) seen.push_back(now);
        return now == QSize(140, 100);
    }));
    const std::vector<QSize> expected = {{401, 313}, {100, 80}, {120, 90}, {140, 100}};
    EXPECT_EQ(seen, expected);
    lumi::test::spinFor(400);
    EXPECT_EQ(form->Viewer->ViewPicture.natural(), QSize(140, 100));
    EXPECT_TRUE(form->Engine->ViewList.empty());
    EXPECT_TRUE(slideshowFolderEmpty());
}

// Escape and a second view drop what is still on its way: only the last picture asked for
// is ever shown, and no file stays behind.
TEST_F(ViewerTest, OnlyTheLastPictureAskedForIsShown) {
    PictureServer server;
    listAndSelect({server.url("/held/100x80.jpg"), server.url("/120x90.jpg"),
                   server.url("/140x100.jpg"), server.url("/held/60x40.jpg")},
                  {0});
    form->Commands->GlimFade6Click();
    pressEscape();
    viewRow(1);
    ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewPicture.natural() == QSize(120, 90); }));
    viewRow(3); // a second view while the viewer waits for the first
    viewRow(2);
    ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewPicture.natural() == QSize(140, 100); }));
    server.release();
    lumi::test::spinFor(300);
    EXPECT_EQ(form->Viewer->ViewPicture.natural(), QSize(140, 100));
    EXPECT_EQ(form->Transfers->running(), 0u);
    EXPECT_TRUE(slideshowFolderEmpty());
}

TEST_F(ViewerTest, FailuresAreSaidInThePanelAndTheSlideShowGoesOn) {
    PictureServer server;
    listAndSelect({server.url("/missing.jpg"), server.url("/page.jpg"), server.url("/100x80.jpg")},
                  {0});
    const std::pair<int, const char*> views[] = {
        {0, "Could not load missing.jpg: 404 Not Found"},
        {1, "Could not load page.jpg: Not a picture"}};
    for (const auto& [row, text] : views) {
        viewRow(row);
        ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewMessage->isVisible(); })) << text;
        EXPECT_EQ(form->Viewer->ViewMessage->text(), QString::fromLatin1(text));
        EXPECT_FALSE(form->Viewer->ViewImage->isVisible());
        pressEscape();
    }

    form->Viewer->SlideShowTimer->setInterval(100);
    form->Results->ListView1->selectionModel()->select(
        form->Results->ListView1->model()->index(2, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form->Commands->GlimFade8Click();
    ASSERT_TRUE(waitUntil([&] { return form->Viewer->ViewPicture.natural() == QSize(100, 80); }));
    EXPECT_TRUE(form->Viewer->ViewImage->isVisible());
    EXPECT_FALSE(form->Viewer->ViewMessage->isVisible());
    EXPECT_TRUE(slideshowFolderEmpty());
}

// A "Wait" of 0 or less would leave the pause timer without a usable interval (never firing,
// or after weeks): it pauses not at all, and a huge one is kept to what a timer holds.
TEST(SlideShowInterval, WaitOfZeroOrLessPausesNotAtAll) {
    const std::pair<int32_t, int> cases[] = {
        {10, 10000}, {0, 0}, {-1, 0}, {INT32_MIN, 0}, {INT32_MAX, INT_MAX}};
    for (const auto& [wait, interval] : cases)
        EXPECT_EQ(lumi::slideShowInterval(wait), interval) << wait;
}

// Regression: a stopped slide's picture was left in the slideshow folder for ever.
TEST_F(ViewerTest, EscapeWhileTheFirstSlideIsInTransferShowsNothingLaterAndLeavesNoFile) {
    PictureServer server;
    listAndSelect({server.url("/held/100x80.jpg"), server.url("/120x90.jpg")}, {0, 1});
    form->Commands->GlimFade8Click();
    ASSERT_TRUE(form->ViewerShown());
    pressEscape();
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_TRUE(form->Viewer->Slides->SlideShowStopped);
    EXPECT_TRUE(form->Engine->ViewList.empty());

    server.release();
    ASSERT_TRUE(waitUntil([&] { return form->Transfers->running() == 0; }));
    lumi::test::spinFor(100);
    EXPECT_FALSE(form->ViewerShown());
    EXPECT_FALSE(form->Viewer->SlideShowTimer->isActive());
    EXPECT_EQ(form->Viewer->ViewPicture.natural(), QSize(401, 313));
    EXPECT_TRUE(slideshowFolderEmpty());
}

} // namespace
