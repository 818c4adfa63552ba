// TForm1's viewer and slide show: the View and Slide Show commands, the picture in
// panel_Viewer and its fit, the steps after a viewed or shown picture has arrived, and the
// pause between slides.
#include "shell/Main.h"

#include <algorithm>

#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTimer>
#include <QTreeView>

#include "analysis/UrlUtils.h"
#include "base/AppPaths.h"
#include "base/ErrorReport.h"
#include "engine/SearchEngine.h"
#include "engine/SlideShow.h"
#include "widgets/GlimFade.h"

namespace lumi {

std::string loadingPicturePath() {
    return dataFilePath("loading.bmp");
}

} // namespace lumi

namespace {

void removeFile(const std::string& path) {
    QFile::remove(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace

void TForm1::connectViewer() {
    GlimFade6->OnClick = [this](TGlimFade*) { GlimFade6Click(); };
    GlimFade8->OnClick = [this](TGlimFade*) { GlimFade8Click(); };
    QObject::connect(SlideShowTimer, &QTimer::timeout, this, [this] { SlideShowTimerTimer(); });
    if (!Engine) return;
    Slides = std::make_unique<lumi::SlideShow>(
        Engine->ViewList,
        lumi::SlideShow::Hooks{
            .fetch = [this](const std::string& address,
                            const std::string& name) { GetFile(address, name, tkSlide); },
            .show = [this](const std::string& file) { ViewImages(file); },
            .remove = removeFile,
            .pausing = [this] { return SlideShowTimer->isActive(); },
            .startPause = [this] { SlideShowTimer->start(); },
            .stopPause = [this] { SlideShowTimer->stop(); },
        });
    // A transfer that failed has no picture: its file is already gone, and a failed slide
    // ends the show there.
    Transfers->OnViewDone = [this](const lumi::TransferOutcome& outcome) {
        if (outcome.failed) return;
        ViewImages(outcome.path);
        removeFile(outcome.path);
    };
    Transfers->OnSlideDone = [this](const lumi::TransferOutcome& outcome) {
        if (!outcome.failed) Slides->pictureArrived(outcome.path);
    };
}

std::vector<size_t> TForm1::selectedRows() const {
    std::vector<size_t> rows;
    const size_t listed = Engine ? Engine->FoundList.size() : 0;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        if (static_cast<size_t>(index.row()) < listed)
            rows.push_back(static_cast<size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TForm1::ViewImages(const std::string& path) {
    lumi::catchAll("error code : #0052 (ViewImages)", [&] {
        // Decoded for the larger of the panel now and the area it is about to fill.
        ViewPicture.load(*ViewImage, path, Panel3->size().expandedTo(panel_Viewer->size()));
        FitPicture();
        ShowPanel(panel_Viewer);
    });
}

void TForm1::FitPicture() {
    ViewPicture.fit(*ViewImage, panel_Viewer->size());
}

void TForm1::GlimFade6Click() {
    lumi::catchAll("error code : #0046 (GlimFade6Click)", [&] {
        ViewImages(lumi::loadingPicturePath());
        const std::vector<size_t> rows = selectedRows();
        if (rows.empty()) {
            ShowMessage(QStringLiteral("Please select a file first!"));
            return;
        }
        Engine->ViewList.add(Engine->FoundList[rows.front()]);
        const std::string address = Engine->ViewList.front();
        GetFile(address, ExtractFileNameFromURL(address), tkView);
    });
}

void TForm1::ListView1DblClick() {
    GlimFade6Click();
}

void TForm1::GlimFade8Click() {
    lumi::runUnderDefaultHandler([&] {
        if (!Engine) return;
        Engine->ViewList.clear();
        const std::vector<size_t> rows = selectedRows();
        if (rows.size() < 2) {
            ShowMessage(QStringLiteral("You must select at least two files first!"));
            return;
        }
        for (size_t row : rows)
            Engine->ViewList.add(Engine->FoundList[row]);
        ViewImages(lumi::loadingPicturePath());
        StartSlideShow();
    });
}

void TForm1::StartSlideShow() {
    if (Slides) Slides->StartSlideShow();
}

void TForm1::SlideShowTimerTimer() {
    lumi::runUnderDefaultHandler([&] {
        SlideShowTimer->stop();
        if (Slides) Slides->pauseOver();
    });
}
