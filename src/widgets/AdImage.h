#pragma once
// TAdImage: the sponsor banner. Its picture and click action come from an outside engine
// library (libadvert.so beside the program), loaded when the control is created and called
// by entry name; without the library, or without one of its entries, the control calls
// nothing that is missing and stays an empty frame.
//
// Property style: read with Name(), write with setName(). Events are std::function members
// whose parameter is the sender; an empty one is skipped.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QWidget>

#include "advert/advert.h"
#include "base/EnumSet.h"

enum TAdImageSize {
    ads150x40,
    ADS468x60,
    ads300x50,
    ads70x70,
    ads50x200,
    ADS392x72,
    ADS234x60,
    ADS125x125,
    ADS120x90,
    ADS120x60,
    ADS88x31,
    ADS120x240
};

enum TAdStatus {
    adiWinsockStarted,
    adiNetworkIsUp,
    adiConnectHasFailed,
    adiConnectHasWorked,
    adiProxyHasFailed,
    adiProxyHasWorked,
    adiClickHasFailed,
    adiClickHasWorked,
    adiIdle,
    adiConnecting,
    adiWorking
};

enum TAdOption { adoNoConnect, adoNoDialOnDemand, adoDelayedStartup, adoAll };

namespace lumi {

// The engine's file name, and its place: beside the program, else in the program's install
// folders (LUMISIFT_ADVERT_LIBRARY, when set, names another file: the tests' windows load
// the engine from the build tree).
inline constexpr const char* AdvertLibraryName = "libadvert.so";
std::string advertLibraryPath();

// Width and height of a size code.
QSize adImageDimensions(TAdImageSize size);
// The size a resize to width x height snaps to.
TAdImageSize snappedAdImageSize(int width, int height);

EnumSet<TAdStatus> adStatusFromBits(int32_t bits);
// adoAll sets every bit; the other options their own.
int32_t adOptionBits(EnumSet<TAdOption> options);
// adoAll reads back when every bit is set.
EnumSet<TAdOption> adOptionsFromBits(int32_t bits);

// Shows a load or lookup failure: caption "Assertion Failed", then the text.
using AdAssertionBox = std::function<void(const QString& caption, const QString& text)>;

} // namespace lumi

using TAdStatusSet = lumi::EnumSet<TAdStatus>;
using TAdOptionSet = lumi::EnumSet<TAdOption>;

class TAdImage : public QWidget {
public:
    using TNotifyEvent = std::function<void(TAdImage* sender)>;

    // Loads the engine from libraryPath (empty: beside the program) and looks up its
    // entries, showing each failure through assertionBox (empty: a message box that does
    // not hold up the program).
    explicit TAdImage(QWidget* parent = nullptr, const std::string& libraryPath = {},
                      lumi::AdAssertionBox assertionBox = {});
    // Shuts the engine down when it was started, then unloads it.
    ~TAdImage() override;

    int32_t ProgramID() const { return programId_; }
    void setProgramID(int32_t id) { programId_ = id; }
    TAdImageSize Size() const { return size_; }
    // Gives the control the size's width and height.
    void setSize(TAdImageSize size);
    bool AutoLoad() const { return autoLoad_; }
    void setAutoLoad(bool autoLoad) { autoLoad_ = autoLoad; }
    TAdOptionSet Options() const { return lumi::adOptionsFromBits(optionBits_); }
    void setOptions(TAdOptionSet options) { optionBits_ = lumi::adOptionBits(options); }
    // Passed to the engine at its start and on every change after it.
    int32_t BandwidthThrottle() const { return bandwidthThrottle_; }
    void setBandwidthThrottle(int32_t value);
    int32_t MinimumAdDisplayTime() const { return minimumAdDisplayTime_; }
    void setMinimumAdDisplayTime(int32_t value);
    bool NetworkIsUp() const;
    void setNetworkIsUp(bool up);
    TAdStatusSet Status() const;
    bool Started() const { return started_; }

    // The proxy the engine should use: a host, or none, and a port.
    void SetProxy(const std::optional<std::string>& host, int32_t port);

    // Starts the engine when AutoLoad is set; the owner calls it once its properties are set.
    void Loaded();

    TNotifyEvent OnClick;
    TNotifyEvent OnNetworkRequest;
    TNotifyEvent OnAdCounted;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Entries;
    struct LibraryCloser {
        void operator()(void* handle) const;
    };

    static void repaintCallback(void* control);
    static void networkCallback(void* control);
    static void countedCallback(void* control);
    // Runs step on the control's thread later, unless the control is gone by then.
    static void postToControl(void* control, void (TAdImage::*step)());
    void engineRepaint();
    void engineNetworkRequest();
    void engineAdCounted();
    bool registerWithEngine();
    AdvertContext* context() const { return &context_; }

    std::unique_ptr<void, LibraryCloser> library_;
    std::unique_ptr<Entries> entries_;
    uintptr_t instanceWord_ = 0;
    mutable AdvertContext context_{&instanceWord_, 0};
    bool started_ = false;
    bool resizing_ = false;
    int32_t programId_ = 0;
    TAdImageSize size_ = ADS468x60;
    bool autoLoad_ = false;
    int32_t optionBits_ = 0;
    int32_t bandwidthThrottle_ = 2147483647;
    int32_t minimumAdDisplayTime_ = 0;
};
