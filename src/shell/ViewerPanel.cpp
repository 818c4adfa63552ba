#include "shell/ViewerPanel.h"

#include <algorithm>
#include <limits>

#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include "base/AppPaths.h"
#include "base/ErrorReport.h"
#include "engine/FileTransfers.h"
#include "engine/SearchEngine.h"
#include "engine/SlideShow.h"
#include "base/Latin1.h"
#include "analysis/UrlUtils.h"
#include "engine/ResultsModel.h"
#include "shell/PanelArt.h"

namespace lumi {

namespace {

// Before its first showing the viewer panel keeps the size it was designed with.
const QSize ViewerDesignSize(401, 313);

void removeFile(const std::string& path) {
    QFile::remove(qtPath(path));
}

} // namespace

bool viewStepOf(int key, ViewStep* step) {
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        *step = ViewStep::Next;
        return true;
    case Qt::Key_Left:
    case Qt::Key_Backspace:
    case Qt::Key_PageUp:
        *step = ViewStep::Previous;
        return true;
    case Qt::Key_Home:
        *step = ViewStep::First;
        return true;
    case Qt::Key_End:
        *step = ViewStep::Last;
        return true;
    default:
        return false;
    }
}

QString placeText(size_t index, size_t count) {
    const auto grouped = [](size_t number) {
        QString digits = QString::number(number);
        for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
            digits.insert(at, QChar(0x202F)); // a narrow space that never breaks
        return digits;
    };
    return grouped(index + 1) + QStringLiteral(" of ") + grouped(count);
}

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
    ViewCaption = new QLabel(panel_Viewer);
    ViewCaption->setTextFormat(Qt::PlainText);
    ViewCaption->setAlignment(Qt::AlignCenter);
    ViewCaption->setAutoFillBackground(true);
    QPalette captionColours = ViewCaption->palette();
    captionColours.setColor(QPalette::Window, QColor(0, 0, 0, 160));
    captionColours.setColor(QPalette::WindowText, Qt::white);
    ViewCaption->setPalette(captionColours);
    ViewCaption->hide();
    panel_Viewer->installEventFilter(this);
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
    // While the viewed picture comes, the caption counts its bytes.
    transfers.OnProgress = [this](const std::string& path, int64_t bytes) {
        if (path == pendingView_ && !viewedName_.isEmpty()) showCaption(false, bytes);
    };
    // A picture that arrives for a view or show no longer wanted is dropped with its file.
    transfers.OnViewDone = [this](const TransferOutcome& outcome) {
        if (outcome.path != pendingView_) {
            if (!outcome.failed) removeFile(outcome.path);
            return;
        }
        pendingView_.clear();
        if (outcome.failed) {
            showFailure(couldNotLoad(outcome.name, outcome.reason));
            showCaption(true);
            return;
        }
        showArrived(outcome.path);
        showCaption(true);
        if (OnViewed && ViewImage->isVisible())
            OnViewed(viewedAddress_, ViewImage->pixmap().toImage());
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

void ViewerPanel::View(const std::string& address, const ViewPlace& place) {
    dropPending();
    engine_->ViewList.clear();
    engine_->ViewList.add(address);
    viewedAddress_ = address;
    viewedName_ = unescapedName(ExtractFileNameFromURL(address));
    viewedPlace_ = place.position;
    if (place.thumbnail.isNull())
        ViewImages(loadingPicturePath());
    else
        showStandIn(place.thumbnail);
    showCaption(false);
    const std::string name = ExtractFileNameFromURL(address);
    if (transfers_->GetFile(address, name, tkView))
        pendingView_ = normalFilePath(transfers_->targetPath(name, tkView));
}

void ViewerPanel::SlideShowOf(const std::vector<std::string>& addresses) {
    dropPending();
    viewedName_.clear();
    ViewCaption->hide();
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

void ViewerPanel::showStandIn(const QImage& thumbnail) {
    const QSize area = panel_Viewer->parentWidget()->size();
    panel_Viewer->resize(area);
    const QSize shown = thumbnail.deviceIndependentSize().toSize().scaled(area, Qt::KeepAspectRatio);
    ViewImage->setPixmap(QPixmap::fromImage(
        thumbnail.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    ViewImage->setGeometry(QRect(QPoint((area.width() - shown.width()) / 2,
                                        (area.height() - shown.height()) / 2),
                                 shown));
    ViewMessage->hide();
    ViewImage->show();
    if (OnShowPanel) OnShowPanel();
}

void ViewerPanel::showCaption(bool loaded, int64_t received) {
    if (viewedName_.isEmpty()) return;
    QStringList parts{viewedName_};
    if (loaded && ViewImage->isVisible())
        parts.push_back(QStringLiteral("%1 \u00d7 %2")
                            .arg(ViewPicture.natural().width())
                            .arg(ViewPicture.natural().height()));
    else if (!loaded)
        parts.push_back(received > 0 ? readableSize(received) + QStringLiteral(" received")
                                     : QStringLiteral("loading\u2026"));
    if (!viewedPlace_.isEmpty()) parts.push_back(viewedPlace_);
    ViewCaption->setText(parts.join(QStringLiteral("   \u00b7   ")));
    ViewCaption->setGeometry(0, 0, panel_Viewer->width(), ViewCaption->sizeHint().height() + 6);
    ViewCaption->show();
    ViewCaption->raise();
}

bool ViewerPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != panel_Viewer || event->type() != QEvent::KeyPress || !OnStep) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    ViewStep step;
    if (key->modifiers() & ~Qt::KeypadModifier || !viewStepOf(key->key(), &step)) return false;
    OnStep(step);
    return true;
}

void ViewerPanel::FitPicture() {
    ViewPicture.fit(*ViewImage, panel_Viewer->size());
    ViewMessage->setGeometry(panel_Viewer->rect());
    ViewCaption->setGeometry(0, 0, panel_Viewer->width(), ViewCaption->height());
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
