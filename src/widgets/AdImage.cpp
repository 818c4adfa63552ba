#include "widgets/AdImage.h"

#include <cstdlib>

#include <dlfcn.h>

#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "base/AppPaths.h"
#include "base/ErrorReport.h"

namespace {

// The engine's bit of each status member, in the members' order.
constexpr uint32_t StatusMasks[] = {
    ADVERT_WINSOCK_STARTED,    ADVERT_NETWORK_IS_UP,    ADVERT_CONNECT_HAS_FAILED,
    ADVERT_CONNECT_HAS_WORKED, ADVERT_PROXY_HAS_FAILED, ADVERT_PROXY_HAS_WORKED,
    ADVERT_CLICK_HAS_FAILED,   ADVERT_CLICK_HAS_WORKED, ADVERT_IDLE,
    ADVERT_CONNECTING,         ADVERT_WORKING};
// The engine's bit of each option before adoAll.
constexpr uint32_t OptionMasks[] = {ADVERT_NO_CONNECT, ADVERT_NO_DIAL_ON_DEMAND,
                                    ADVERT_DELAYED_STARTUP};

bool succeeded(int32_t result) {
    return (result & 0xFFFF) != 0;
}

const QSize Dimensions[] = {{150, 40}, {468, 60},  {300, 50}, {70, 70},  {50, 200}, {392, 72},
                            {234, 60}, {125, 125}, {120, 90}, {120, 60}, {88, 31},  {120, 240}};

} // namespace

namespace lumi {

std::string advertLibraryPath() {
    const char* replaced = std::getenv("LUMISIFT_ADVERT_LIBRARY");
    return replaced && *replaced ? std::string(replaced) : dataFilePath(AdvertLibraryName);
}

QSize adImageDimensions(TAdImageSize size) {
    return Dimensions[size];
}

TAdImageSize snappedAdImageSize(int w, int h) {
    if (w < 60) return ads50x200;
    if (w < 79) return ads70x70;
    if (w < 104) return ADS88x31;
    if (w < 135) {
        if (h < 75) return ADS120x60;
        if (h < 108) return ADS120x90;
        if (h < 182) return ADS125x125;
        return ADS120x240;
    }
    if (w < 192) return ads150x40;
    if (w < 267) return ADS234x60;
    if (w < 346) return ads300x50;
    if (w < 430) return ADS392x72;
    return ADS468x60;
}

EnumSet<TAdStatus> adStatusFromBits(int32_t bits) {
    EnumSet<TAdStatus> set;
    for (int m = adiWinsockStarted; m <= adiWorking; ++m)
        if (static_cast<uint32_t>(bits) & StatusMasks[m]) set.include(TAdStatus(m));
    return set;
}

int32_t adOptionBits(EnumSet<TAdOption> options) {
    if (options.contains(adoAll)) return -1;
    uint32_t bits = 0;
    for (int m = adoNoConnect; m < adoAll; ++m)
        if (options.contains(TAdOption(m))) bits |= OptionMasks[m];
    return static_cast<int32_t>(bits);
}

EnumSet<TAdOption> adOptionsFromBits(int32_t bits) {
    EnumSet<TAdOption> set;
    for (int m = adoNoConnect; m < adoAll; ++m)
        if (static_cast<uint32_t>(bits) & OptionMasks[m]) set.include(TAdOption(m));
    if (bits == -1) set.include(adoAll);
    return set;
}

} // namespace lumi

// Every entry the control looks up; a missing one stays null and is never called.
struct TAdImage::Entries {
    AdvertStartupEntry Startup = nullptr;
    AdvertSetCallbackEntry SetCallback = nullptr;
    AdvertSetCallbackEntry SetNetworkCallback = nullptr;
    AdvertSetCallbackEntry SetAdRecordedCallback = nullptr;
    AdvertSetNumberEntry SetBandwidthThrottle = nullptr;
    AdvertSetNumberEntry SetMinimumAdDisplayTime = nullptr;
    AdvertPaintEntry Paint = nullptr;
    AdvertPlainEntry OnClick = nullptr;
    AdvertReadNumberEntry IsConnectOkay = nullptr;
    AdvertSetNumberEntry SetNetworkState = nullptr;
    AdvertSetProxyEntry SetProxy = nullptr;
    AdvertGetStatusEntry GetStatus = nullptr;
    AdvertPlainEntry Shutdown = nullptr;
    AdvertPlainEntry RetryConnect = nullptr;
    AdvertPlainEntry UseDefaultAd = nullptr;
    AdvertSetNumberEntry debugTriggerEvent = nullptr;
};

void TAdImage::LibraryCloser::operator()(void* handle) const {
    dlclose(handle);
}

TAdImage::TAdImage(QWidget* parent, const std::string& libraryPath,
                   lumi::AdAssertionBox assertionBox)
    : QWidget(parent), entries_(std::make_unique<Entries>()) {
    if (!assertionBox)
        assertionBox = [this](const QString& caption, const QString& text) {
            // Shown once the event loop runs: a box over a window not shown yet would make
            // the toolkit create that window early, and a window created early takes its
            // saved position as its inside's rather than its frame's.
            QTimer::singleShot(0, this, [this, caption, text] {
                auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                                            window());
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            });
        };
    setCursor(Qt::PointingHandCursor);
    QWidget::resize(lumi::adImageDimensions(size_));

    const std::string path = libraryPath.empty() ? lumi::advertLibraryPath() : libraryPath;
    library_.reset(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library_) {
        assertionBox(QStringLiteral("Assertion Failed"),
                     QStringLiteral("Couldn't load ") + QLatin1String(lumi::AdvertLibraryName));
        return;
    }
    auto lookUp = [&](auto& entry, const char* name) {
        entry =
            reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(library_.get(), name));
        if (!entry)
            assertionBox(QStringLiteral("Assertion Failed"),
                         QStringLiteral("Couldn't find address of ") + QLatin1String(name));
    };
    Entries& e = *entries_;
    lookUp(e.Startup, "_Startup");
    lookUp(e.SetCallback, "_SetCallback");
    lookUp(e.SetNetworkCallback, "_SetNetworkCallback");
    lookUp(e.SetAdRecordedCallback, "_SetAdRecordedCallback");
    lookUp(e.SetBandwidthThrottle, "_SetBandwidthThrottle");
    lookUp(e.SetMinimumAdDisplayTime, "_SetMinimumAdDisplayTime");
    lookUp(e.Paint, "_Paint");
    lookUp(e.OnClick, "_OnClick");
    lookUp(e.IsConnectOkay, "_IsConnectOkay");
    lookUp(e.SetNetworkState, "_SetNetworkState");
    lookUp(e.SetProxy, "_SetProxy");
    lookUp(e.GetStatus, "_GetStatus");
    lookUp(e.Shutdown, "_Shutdown");
    lookUp(e.RetryConnect, "_RetryConnect");
    lookUp(e.UseDefaultAd, "_UseDefaultAd");
    lookUp(e.debugTriggerEvent, "_debugTriggerEvent");
}

TAdImage::~TAdImage() {
    // The engine's threads stop here, before the control they call back goes.
    if (started_ && entries_->Shutdown) entries_->Shutdown(context());
}

void TAdImage::Loaded() {
    if (!autoLoad_ || started_ || !entries_->Startup) return;
    if (!succeeded(entries_->Startup(context(), library_.get(), 0, programId_, size_, optionBits_)))
        return;
    started_ = true;
    registerWithEngine();
    update();
}

bool TAdImage::registerWithEngine() {
    const Entries& e = *entries_;
    // Each step runs only when the one before it succeeded; a missing entry fails.
    return e.SetCallback && succeeded(e.SetCallback(context(), &repaintCallback, this)) &&
           e.SetNetworkCallback &&
           succeeded(e.SetNetworkCallback(context(), &networkCallback, this)) &&
           e.SetAdRecordedCallback &&
           succeeded(e.SetAdRecordedCallback(context(), &countedCallback, this)) &&
           e.SetBandwidthThrottle &&
           succeeded(e.SetBandwidthThrottle(context(), bandwidthThrottle_)) &&
           e.SetMinimumAdDisplayTime &&
           succeeded(e.SetMinimumAdDisplayTime(context(), minimumAdDisplayTime_));
}

void TAdImage::setSize(TAdImageSize size) {
    size_ = size;
    resizing_ = true;
    QWidget::resize(lumi::adImageDimensions(size));
    resizing_ = false;
}

void TAdImage::setBandwidthThrottle(int32_t value) {
    bandwidthThrottle_ = value;
    if (started_ && entries_->SetBandwidthThrottle)
        entries_->SetBandwidthThrottle(context(), value);
}

void TAdImage::setMinimumAdDisplayTime(int32_t value) {
    minimumAdDisplayTime_ = value;
    if (started_ && entries_->SetMinimumAdDisplayTime)
        entries_->SetMinimumAdDisplayTime(context(), value);
}

bool TAdImage::NetworkIsUp() const {
    if (!started_ || !entries_->IsConnectOkay) return false;
    int32_t okay = 0;
    return succeeded(entries_->IsConnectOkay(context(), &okay)) && okay != 0;
}

void TAdImage::setNetworkIsUp(bool up) {
    if (started_ && entries_->SetNetworkState) entries_->SetNetworkState(context(), up ? -1 : 0);
}

TAdStatusSet TAdImage::Status() const {
    if (!entries_->GetStatus) return {};
    int32_t bits = 0;
    if (!succeeded(entries_->GetStatus(context(), &bits, 0))) return {};
    return lumi::adStatusFromBits(bits);
}

void TAdImage::SetProxy(const std::optional<std::string>& host, int32_t port) {
    if (!started_ || !entries_->SetProxy) return;
    entries_->SetProxy(context(), host ? host->c_str() : nullptr, port, "");
}

void TAdImage::paintEvent(QPaintEvent*) {
    if (!entries_->Paint || width() <= 0 || height() <= 0) return;
    // The engine draws into a picture of the control's size, shown in one step.
    QImage picture(size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    AdvertCanvas canvas{reinterpret_cast<uint32_t*>(picture.bits()), picture.width(),
                        picture.height(), static_cast<int32_t>(picture.bytesPerLine())};
    entries_->Paint(context(), &canvas, 0, 0);
    QPainter(this).drawImage(0, 0, picture);
}

void TAdImage::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
    lumi::runUnderDefaultHandler([&] {
        if (OnClick) OnClick(this);
    });
    if (entries_->OnClick) entries_->OnClick(context());
}

void TAdImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (resizing_) return;
    // Any resize but the Size property's own snaps to the nearest banner size.
    const TAdImageSize snapped = lumi::snappedAdImageSize(width(), height());
    if (lumi::adImageDimensions(snapped) != QWidget::size()) setSize(snapped);
}

void TAdImage::postToControl(void* control, void (TAdImage::*step)()) {
    // The engine may call from a thread of its own: the step runs on the control's thread.
    auto* self = static_cast<TAdImage*>(control);
    QMetaObject::invokeMethod(
        self, [self, step] { (self->*step)(); }, Qt::QueuedConnection);
}

void TAdImage::repaintCallback(void* control) {
    postToControl(control, &TAdImage::engineRepaint);
}

void TAdImage::networkCallback(void* control) {
    postToControl(control, &TAdImage::engineNetworkRequest);
}

void TAdImage::countedCallback(void* control) {
    postToControl(control, &TAdImage::engineAdCounted);
}

void TAdImage::engineRepaint() {
    update();
}

void TAdImage::engineNetworkRequest() {
    lumi::runUnderDefaultHandler([&] {
        if (OnNetworkRequest)
            OnNetworkRequest(this);
        else
            setNetworkIsUp(Status().contains(adiNetworkIsUp));
    });
}

void TAdImage::engineAdCounted() {
    lumi::runUnderDefaultHandler([&] {
        if (OnAdCounted) OnAdCounted(this);
    });
}
