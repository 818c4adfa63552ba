// The sponsor banner control against a recording engine: the calls, their order and
// arguments, the callbacks, missing entries and a missing library; the size and set
// mappings; and the project's own engine drawing its banners.
#include "widgets/AdImage.h"

#include <dlfcn.h>

#include <set>

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "common/EventLoopWait.h"

namespace {

// The recording engine, opened a second time to reach its test functions (same handle,
// same state as the control's).
class RecordingEngine {
public:
    explicit RecordingEngine(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        calls_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "recordingAdvertCalls"));
        reset_ = reinterpret_cast<void (*)(const char*, int32_t, int32_t)>(
            dlsym(handle_, "recordingAdvertReset"));
        fire_ = reinterpret_cast<void (*)(int)>(dlsym(handle_, "recordingAdvertFire"));
    }
    ~RecordingEngine() { dlclose(handle_); }
    bool loaded() const { return calls_ && reset_ && fire_; }
    void reset(const char* failing = "", int32_t status = 0, int32_t connectOkay = 0) {
        reset_(failing, status, connectOkay);
    }
    // The calls since the last take, one per line.
    std::string take() {
        std::string all = calls_();
        std::string fresh = all.substr(std::min(seen_, all.size()));
        seen_ = all.size();
        return fresh;
    }
    // Every call so far, the taken ones included.
    std::string all() const { return calls_(); }
    void fire(int which) { fire_(which); }
    // Waits until the calls since the last take contain expected.
    bool waitFor(const std::string& expected) {
        std::string seen;
        return lumi::test::waitUntil([&] {
            seen += take();
            return seen.find(expected) != std::string::npos;
        });
    }

private:
    void* handle_;
    const char* (*calls_)() = nullptr;
    void (*reset_)(const char*, int32_t, int32_t) = nullptr;
    void (*fire_)(int) = nullptr;
    size_t seen_ = 0;
};

struct Messages {
    std::vector<std::string> texts;
    lumi::AdAssertionBox box() {
        return [this](const QString& caption, const QString& text) {
            texts.push_back(caption.toStdString() + ": " + text.toStdString());
        };
    }
};

const std::string Registrations = "_SetCallback(callback)\n"
                                  "_SetNetworkCallback(callback)\n"
                                  "_SetAdRecordedCallback(callback)\n"
                                  "_SetBandwidthThrottle(2147483647)\n"
                                  "_SetMinimumAdDisplayTime(0)\n";

std::unique_ptr<TAdImage> startedBanner(Messages& messages, const char* path = RECORDING_ADVERT) {
    auto banner = std::make_unique<TAdImage>(nullptr, path, messages.box());
    banner->setProgramID(311);
    banner->setSize(ADS468x60);
    banner->setAutoLoad(true);
    banner->setOptions({});
    banner->Loaded();
    return banner;
}

} // namespace

TEST(AdImage, StartsAndRegistersInOrderStoppingAtTheFirstFailure) {
    RecordingEngine engine(RECORDING_ADVERT);
    ASSERT_TRUE(engine.loaded());
    struct Case {
        const char* failing;
        std::string after; // the calls after "_Startup"
        bool started;
    };
    const Case cases[] = {
        {"", Registrations, true},
        {"_SetNetworkCallback", "_SetCallback(callback)\n_SetNetworkCallback(callback)\n", true},
        {"_SetMinimumAdDisplayTime", Registrations, true},
        {"_Startup", "", false},
    };
    for (const Case& c : cases) {
        engine.reset(c.failing);
        engine.take();
        Messages messages;
        {
            auto banner = startedBanner(messages);
            EXPECT_EQ(banner->Started(), c.started) << c.failing;
            EXPECT_EQ(engine.take(), "_Startup(library,0,311,1,0)\n" + c.after) << c.failing;
        }
        EXPECT_EQ(engine.take(), c.started ? "_Shutdown()\n" : "") << c.failing;
        EXPECT_TRUE(messages.texts.empty());
    }
}

TEST(AdImage, PaintClickAndStatusReachTheEngineStartedOrNotTheRestOnlyWhenStarted) {
    RecordingEngine engine(RECORDING_ADVERT);
    ASSERT_TRUE(engine.loaded());
    for (const bool autoLoad : {false, true}) {
        engine.reset("", (1 << 1) | (1 << 5) | (1 << 12), 1);
        Messages messages;
        TAdImage banner(nullptr, RECORDING_ADVERT, messages.box());
        banner.setAutoLoad(autoLoad);
        banner.Loaded();
        engine.take();
        std::vector<bool> engineClickedFirst;
        banner.OnClick = [&](TAdImage*) {
            engineClickedFirst.push_back(engine.all().find("_OnClick") != std::string::npos);
        };

        const QImage shown = banner.grab().toImage();
        EXPECT_EQ(shown.pixelColor(0, 0), QColor(0, 255, 0));
        QTest::mouseClick(&banner, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(engineClickedFirst, std::vector<bool>{false}); // OnClick runs before the engine's
        EXPECT_EQ(banner.Status(), (TAdStatusSet{adiNetworkIsUp, adiConnectHasWorked, adiIdle}));
        EXPECT_EQ(banner.NetworkIsUp(), autoLoad);
        banner.setNetworkIsUp(true);
        banner.setNetworkIsUp(false);
        banner.SetProxy(std::string("proxy.test"), 8080);
        banner.SetProxy(std::nullopt, 80);
        banner.setBandwidthThrottle(5000);
        banner.setMinimumAdDisplayTime(7);
        const std::string always = "_Paint(468x60,1872,0,0)\n_OnClick()\n_GetStatus(0)\n";
        const std::string whenStarted =
            "_IsConnectOkay()\n_SetNetworkState(-1)\n_SetNetworkState(0)\n"
            "_SetProxy(proxy.test,8080,)\n_SetProxy(null,80,)\n"
            "_SetBandwidthThrottle(5000)\n_SetMinimumAdDisplayTime(7)\n";
        EXPECT_EQ(engine.take(), autoLoad ? always + whenStarted : always);
    }
}

TEST(AdImage, EngineCallbacksRepaintAskTheNetworkAndCountImpressions) {
    RecordingEngine engine(RECORDING_ADVERT);
    ASSERT_TRUE(engine.loaded());
    engine.reset("", 1 << 1);
    Messages messages;
    auto banner = startedBanner(messages);
    banner->show();
    ASSERT_TRUE(engine.waitFor("_Paint"));
    engine.fire(0);
    EXPECT_TRUE(engine.waitFor("_Paint"));

    // Without OnNetworkRequest the network state follows the engine's status bit.
    engine.fire(1);
    EXPECT_TRUE(engine.waitFor("_GetStatus(0)\n_SetNetworkState(-1)\n"));
    int requests = 0, counted = 0;
    banner->OnNetworkRequest = [&](TAdImage* sender) { requests += sender == banner.get(); };
    banner->OnAdCounted = [&](TAdImage* sender) { counted += sender == banner.get(); };
    engine.fire(1);
    engine.fire(2);
    EXPECT_TRUE(lumi::test::waitUntil([&] { return requests == 1 && counted == 1; }));
    EXPECT_EQ(engine.take().find("_SetNetworkState"), std::string::npos);
}

TEST(AdImage, AMissingEntryIsReportedAndNeverCalled) {
    Messages messages;
    RecordingEngine engine(RECORDING_ADVERT_PARTIAL);
    ASSERT_TRUE(engine.loaded());
    engine.reset();
    auto banner = startedBanner(messages, RECORDING_ADVERT_PARTIAL);
    EXPECT_EQ(
        messages.texts,
        std::vector<std::string>{"Assertion Failed: Couldn't find address of _SetNetworkCallback"});
    // The missing entry counts as a failed registration: the later ones are not made.
    EXPECT_EQ(engine.take(), "_Startup(library,0,311,1,0)\n_SetCallback(callback)\n");
}

TEST(AdImage, WithoutTheLibraryOneMessageAndNothingCalled) {
    Messages messages;
    auto banner = startedBanner(messages, "/nonexistent/libadvert.so");
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{"Assertion Failed: Couldn't load libadvert.so"});
    EXPECT_FALSE(banner->Started());
    banner->grab();
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(5, 5));
    banner->SetProxy(std::string("p"), 1);
    EXPECT_FALSE(banner->NetworkIsUp());
    EXPECT_EQ(banner->Status(), TAdStatusSet{});
}

TEST(AdImage, SizesSnapAndSetsMapToTheEngineBits) {
    struct Snap {
        int w, h;
        TAdImageSize want;
    };
    const Snap snaps[] = {
        {59, 10, ads50x200},    {60, 10, ads70x70},     {78, 300, ads70x70},
        {79, 1, ADS88x31},      {103, 99, ADS88x31},    {104, 74, ADS120x60},
        {134, 75, ADS120x90},   {120, 107, ADS120x90},  {120, 108, ADS125x125},
        {120, 181, ADS125x125}, {120, 183, ADS120x240}, {135, 500, ads150x40},
        {191, 1, ads150x40},    {192, 1, ADS234x60},    {267, 1, ads300x50},
        {346, 1, ADS392x72},    {429, 1, ADS392x72},    {430, 1, ADS468x60},
        {2000, 900, ADS468x60},
    };
    for (const Snap& s : snaps)
        EXPECT_EQ(lumi::snappedAdImageSize(s.w, s.h), s.want) << s.w << "x" << s.h;

    Messages messages;
    TAdImage banner(nullptr, "/nonexistent/libadvert.so", messages.box());
    EXPECT_EQ(banner.size(), QSize(468, 60));
    banner.setSize(ADS120x240);
    EXPECT_EQ(banner.size(), QSize(120, 240));
    banner.show(); // a hidden widget hears of its resize only when shown
    banner.resize(300, 250);
    EXPECT_EQ(banner.Size(), ads300x50);
    EXPECT_EQ(banner.size(), QSize(300, 50));
    EXPECT_EQ(banner.BandwidthThrottle(), 2147483647);
    EXPECT_EQ(banner.ProgramID(), 0);
    EXPECT_EQ(banner.cursor().shape(), Qt::PointingHandCursor);

    EXPECT_EQ(
        lumi::adStatusFromBits(0x7FFF),
        (TAdStatusSet{adiWinsockStarted, adiNetworkIsUp, adiConnectHasFailed, adiConnectHasWorked,
                      adiProxyHasFailed, adiProxyHasWorked, adiClickHasFailed, adiClickHasWorked,
                      adiIdle, adiConnecting, adiWorking}));
    EXPECT_EQ(lumi::adStatusFromBits(0x0C0C), TAdStatusSet{}); // bits 2, 3, 10, 11 mean nothing
    EXPECT_EQ(lumi::adStatusFromBits(1 << 14 | 1 << 9),
              (TAdStatusSet{adiWorking, adiClickHasWorked}));
    EXPECT_EQ(lumi::adOptionBits({adoNoConnect, adoDelayedStartup}), 2 | 16);
    EXPECT_EQ(lumi::adOptionBits({adoNoDialOnDemand, adoAll}), -1);
    EXPECT_EQ(lumi::adOptionsFromBits(4), TAdOptionSet{adoNoDialOnDemand});
    EXPECT_EQ(lumi::adOptionsFromBits(-1),
              (TAdOptionSet{adoNoConnect, adoNoDialOnDemand, adoDelayedStartup, adoAll}));
    banner.setOptions({adoAll});
    EXPECT_TRUE(banner.Options().contains(adoAll));
}

TEST(AdvertEngine, DrawsItsHouseBannersAtEverySizeAndKeepsItsStatus) {
    Messages messages;
    auto banner = startedBanner(messages, ADVERT_ENGINE);
    ASSERT_TRUE(messages.texts.empty()) << messages.texts.front();
    ASSERT_TRUE(banner->Started());
    for (int size = ads150x40; size <= ADS120x240; ++size) {
        banner->setSize(TAdImageSize(size));
        const QImage picture = banner->grab().toImage();
        EXPECT_EQ(picture.size(), lumi::adImageDimensions(TAdImageSize(size)));
        // A drawn banner, not a blank: many colours, and the border in the accent colour.
        std::set<QRgb> colours;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                colours.insert(picture.pixel(x, y));
        EXPECT_GT(colours.size(), 8u) << size;
        EXPECT_EQ(picture.pixel(0, 0), picture.pixel(picture.width() - 1, picture.height() - 1))
            << size;
    }
    QCoreApplication::processEvents(); // the engine's word on the network, given at start
    EXPECT_TRUE(banner->Status().contains(adiIdle));
    EXPECT_FALSE(banner->Status().contains(adiWinsockStarted)); // no network connection
    EXPECT_FALSE(banner->NetworkIsUp());
    banner->setNetworkIsUp(true);
    EXPECT_TRUE(banner->NetworkIsUp());
    EXPECT_TRUE(banner->Status().contains(adiNetworkIsUp));
}

TEST(AdvertEngine, AClickOpensTheMakersHomePageWithTheDesktopHandlerOrDoesNothing) {
    QTemporaryDir bin;
    const QString opened = bin.filePath(QStringLiteral("opened.txt"));
    {
        QFile handler(bin.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(handler.open(QIODevice::WriteOnly));
        handler.write("#!/bin/sh\nprintf '%s' \"$*\" > \"${0%/*}/opened.txt\"\n");
        handler.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("LUMISIFT_MAKER_HOST", "maker.test:81");
    Messages messages;
    auto banner = startedBanner(messages, ADVERT_ENGINE);

    qputenv("PATH", QFile::encodeName(bin.path()));
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(lumi::test::waitUntil([&] {
        QFile file(opened);
        return file.open(QIODevice::ReadOnly) && file.readAll() == "http://maker.test:81/";
    }));
    EXPECT_TRUE(banner->Status().contains(adiClickHasWorked));

    // No handler on this desktop: nothing opens and the engine says so.
    qputenv("PATH", "/nonexistent");
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(banner->Status().contains(adiClickHasFailed));
    qputenv("PATH", path);
    qunsetenv("LUMISIFT_MAKER_HOST");
}
