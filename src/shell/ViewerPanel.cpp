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
#include "shell/PanelArt.h"

namespace lumi {

namespace {

// Before its first showing the viewer panel keeps the size it was designed with.
const QSize ViewerDesignSize(401, 313);

void removeFile(const std::string& path) {
    QFile::remove(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace

int slideShowInterval(int32_t waitSeconds) {
    const int64_t ms = int64_t(waitSeconds) * 1000;
    return static_cast<int>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

std::string loadingPicturePath() {
    return dataFilePath("loading.bmp");
}

ViewerPanel::ViewerPanel(QWidget* area) {
    panel_Viewer = blackPanel(area);
    panel_Viewer->resize(ViewerDesignSize);
    ViewImage = new QLabel(panel_Viewer);
    ViewImage->setAlignment(Qt::AlignCenter);
    ViewImage->setGeometry(panel_Viewer->rect());
    panel_Viewer->hide();
    SlideShowTimer = new QTimer(panel_Viewer);
    SlideShowTimer->setSingleShot(true);
    QObject::connect(SlideShowTimer, &QTimer::timeout, panel_Viewer,
                     [this] { SlideShowTimerTimer(); });
}

ViewerPanel::~ViewerPanel() = default;

void ViewerPanel::attach(SearchEngine& engine, FileTransfers& transfers) {
    Slides = std::make_unique<SlideShow>(
        engine.ViewList, SlideShow::Hooks{
                             .fetch =
                                 [&transfers](const std::string& address, const std::string& name) {
                                     transfers.GetFile(address, name, tkSlide);
                                 },
                             .show = [this](const std::string& file) { ViewImages(file); },
                             .remove = removeFile,
                             .pausing = [this] { return SlideShowTimer->isActive(); },
                             .startPause = [this] { SlideShowTimer->start(); },
                             .stopPause = [this] { SlideShowTimer->stop(); },
                         });
    // A transfer that failed has no picture: its file is already gone, and a failed slide
    // ends the show there.
    transfers.OnViewDone = [this](const TransferOutcome& outcome) {
        if (outcome.failed) return;
        ViewImages(outcome.path);
        removeFile(outcome.path);
    };
    transfers.OnSlideDone = [this](const TransferOutcome& outcome) {
        if (!outcome.failed) Slides->pictureArrived(outcome.path);
    };
}

void ViewerPanel::ViewImages(const std::string& path) {
    catchAll("error code : #0052 (ViewImages)", [&] {
        // Decoded for the larger of the panel now and the area it is about to fill.
        ViewPicture.load(*ViewImage, path,
                         panel_Viewer->parentWidget()->size().expandedTo(panel_Viewer->size()));
        FitPicture();
        if (OnShowPanel) OnShowPanel();
    });
}

void ViewerPanel::FitPicture() {
    ViewPicture.fit(*ViewImage, panel_Viewer->size());
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
