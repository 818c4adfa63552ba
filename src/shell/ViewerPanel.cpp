#include "shell/ViewerPanel.h"

#include <algorithm>
#include <limits>

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QTimer>

#include "base/AppPaths.h"
#include "base/ErrorReport.h"
#include "engine/FileTransfers.h"
#include "engine/SearchEngine.h"
#include "engine/SlideShow.h"
#include "base/Latin1.h"
#include "analysis/UrlUtils.h"
#include "shell/PanelArt.h"

namespace lumi {

namespace {

// Before its first showing the viewer panel keeps the size it was designed with.
const QSize ViewerDesignSize(401, 313);

void removeFile(const std::string& path) {
    QFile::remove(qtPath(path));
}

} // namespace

int slideShowInterval(int32_t waitSeconds) {
    const int64_t ms = int64_t(waitSeconds) * 1000;
    return static_cast<int>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

std::string loadingPicturePath() {
    return dataFilePath("loading.bmp");
}

QString couldNotLoad(const std::string& name, const std::string& reason) {
    std::string why = reason;
    // "HTTP/1.0 404 Not Found" says "404 Not Found" to the user.
    if (why.rfind("HTTP/", 0) == 0 && why.find(' ') != std::string::npos)
        why.erase(0, why.find(' ') + 1);
    return QStringLiteral("Could not load %1: %2").arg(latin1(name), latin1(why));
}

ViewerPanel::ViewerPanel(QWidget* area) {
    panel_Viewer = blackPanel(area);
    panel_Viewer->resize(ViewerDesignSize);
    ViewImage = new QLabel(panel_Viewer);
    ViewImage->setAlignment(Qt::AlignCenter);
    ViewImage->setGeometry(panel_Viewer->rect());
    ViewMessage = new QLabel(panel_Viewer);
    ViewMessage->setAlignment(Qt::AlignCenter);
    ViewMessage->setWordWrap(true);
    ViewMessage->setTextFormat(Qt::PlainText);
    ViewMessage->hide();
    panel_Viewer->hide();
    SharpenTimer = new QTimer(panel_Viewer);
    SharpenTimer->setSingleShot(true);
    SharpenTimer->setInterval(150);
    QObject::connect(SharpenTimer, &QTimer::timeout, panel_Viewer, [this] {
        if (panel_Viewer->isVisible())
            ViewPicture.sharpen(*ViewImage, panel_Viewer->size(), [this] { FitPicture(); });
    });
    SlideShowTimer = new QTimer(panel_Viewer);
    SlideShowTimer->setSingleShot(true);
    QObject::connect(SlideShowTimer, &QTimer::timeout, panel_Viewer,
                     [this] { SlideShowTimerTimer(); });
}

ViewerPanel::~ViewerPanel() = default;

void ViewerPanel::attach(SearchEngine& engine, FileTransfers& transfers) {
    engine_ = &engine;
    transfers_ = &transfers;
    Slides = std::make_unique<SlideShow>(
        engine.ViewList,
        SlideShow::Hooks{
            .fetch =
                [this](const std::string& address, const std::string& name) {
                    if (transfers_->GetFile(address, name, tkSlide))
                        pendingSlide_ = normalFilePath(transfers_->targetPath(name, tkSlide));
                },
            .show = [this](const std::string& file) { showArrived(file); },
            .showFailure = [this](const std::string& text) { showFailure(latin1(text)); },
            .remove = removeFile,
            .pausing = [this] { return SlideShowTimer->isActive(); },
            .startPause = [this] { SlideShowTimer->start(); },
            .stopPause = [this] { SlideShowTimer->stop(); },
        });
    // A picture that arrives for a view or show no longer wanted is dropped with its file.
    transfers.OnViewDone = [this](const TransferOutcome& outcome) {
        if (outcome.path != pendingView_) {
            if (!outcome.failed) removeFile(outcome.path);
            return;
        }
        pendingView_.clear();
        if (outcome.failed) {
            showFailure(couldNotLoad(outcome.name, outcome.reason));
            return;
        }
        showArrived(outcome.path);
        removeFile(outcome.path);
    };
    transfers.OnSlideDone = [this](const TransferOutcome& outcome) {
        if (outcome.path != pendingSlide_) {
            if (!outcome.failed) removeFile(outcome.path);
            return;
        }
        pendingSlide_.clear();
        if (outcome.failed)
            Slides->pictureFailed(couldNotLoad(outcome.name, outcome.reason).toStdString());
        else
            Slides->pictureArrived(outcome.path);
    };
}

void ViewerPanel::View(const std::string& address) {
    dropPending();
    engine_->ViewList.clear();
    engine_->ViewList.add(address);
    ViewImages(loadingPicturePath());
    const std::string name = ExtractFileNameFromURL(address);
    if (transfers_->GetFile(address, name, tkView))
        pendingView_ = normalFilePath(transfers_->targetPath(name, tkView));
}

void ViewerPanel::SlideShowOf(const std::vector<std::string>& addresses) {
    dropPending();
    engine_->ViewList.clear();
    for (const std::string& address : addresses)
        engine_->ViewList.add(address);
    ViewImages(loadingPicturePath());
    StartSlideShow();
}

void ViewerPanel::Stop() {
    dropPending();
}

void ViewerPanel::dropPending() {
    if (Slides) Slides->Stop();
    for (std::string* pending : {&pendingView_, &pendingSlide_}) {
        if (!pending->empty() && transfers_) transfers_->cancel(*pending);
        pending->clear();
    }
}

bool ViewerPanel::load(const std::string& path, std::string& reason) {
    try {
        // Decoded for the larger of the panel now and the area it is about to fill, and
        // fitted to that area, so that even the first picture is centred where it shows.
        const QSize area = panel_Viewer->parentWidget()->size().expandedTo(panel_Viewer->size());
        ViewPicture.load(*ViewImage, path, area);
        panel_Viewer->resize(panel_Viewer->parentWidget()->size());
        ViewMessage->hide();
        ViewImage->show();
        FitPicture();
        return true;
    } catch (const std::exception& failure) {
        reason = failure.what();
    }
    return false;
}

void ViewerPanel::ViewImages(const std::string& path) {
    std::string reason;
    if (load(path, reason)) {
        if (OnShowPanel) OnShowPanel();
    } else {
        ReportError("error code : #0052 (ViewImages)");
    }
}

void ViewerPanel::showArrived(const std::string& path) {
    std::string reason;
    if (load(path, reason)) {
        if (OnShowPanel) OnShowPanel();
        return;
    }
    ReportError("error code : #0052 (ViewImages)");
    showFailure(couldNotLoad(path.substr(path.rfind('/') + 1), reason));
}

void ViewerPanel::showFailure(const QString& text) {
    ViewImage->hide();
    ViewMessage->setText(text);
    ViewMessage->show();
    ViewMessage->setGeometry(panel_Viewer->rect());
    if (OnShowPanel) OnShowPanel();
}

void ViewerPanel::FitPicture() {
    ViewPicture.fit(*ViewImage, panel_Viewer->size());
    ViewMessage->setGeometry(panel_Viewer->rect());
    // A panel grown beyond what the decoded pixels fill gets them decoded again once the
    // resizing has settled.
    if (ViewPicture.blurredIn(panel_Viewer->size())) SharpenTimer->start();
}

void ViewerPanel::StartSlideShow() {
    if (Slides) Slides->StartSlideShow();
}

void ViewerPanel::SlideShowTimerTimer() {
    runUnderDefaultHandler([&] {
        SlideShowTimer->stop();
        if (Slides) Slides->pauseOver();
    });
}

} // namespace lumi
