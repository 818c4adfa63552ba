// libadvert.so: the sponsor banner's engine. It rotates the house banners, asks the control
// for a repaint when it does, reports an impression for each banner that was shown, keeps
// its status bits and the proxy it is given, and makes no network connection. A click opens
// the maker's home page with the desktop's handler (xdg-open, started without a shell).
#include "advert.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "HouseBanners.h"
#include "base/ConfiguredHosts.h"

extern char** environ;

namespace {

// A banner stays at least this long, or MinimumAdDisplayTime seconds when that is longer.
constexpr auto RotationPeriod = std::chrono::seconds(12);

struct Engine {
    std::mutex lock;
    std::condition_variable wake;
    std::thread ticker;
    bool stopping = false;

    int32_t programId = 0;
    int32_t sizeCode = 0;
    int32_t options = 0;
    int32_t bandwidthThrottle = 0;
    int32_t minimumDisplaySeconds = 0;
    bool networkUp = false;
    int32_t status = ADVERT_IDLE;
    std::string proxyHost;
    int32_t proxyPort = 80;
    bool proxyOn = false;

    int banner = 0;
    bool bannerShown = false;   // painted at least once since it came up
    std::vector<pid_t> openers; // click handlers still to be reaped

    AdvertCallback repaint = nullptr;
    void* repaintControl = nullptr;
    AdvertCallback network = nullptr;
    void* networkControl = nullptr;
    AdvertCallback counted = nullptr;
    void* countedControl = nullptr;
};

Engine* engineOf(AdvertContext* context) {
    return context && context->instance ? reinterpret_cast<Engine*>(*context->instance) : nullptr;
}

void reapOpeners(Engine& e) {
    e.openers.erase(std::remove_if(e.openers.begin(), e.openers.end(),
                                   [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; }),
                    e.openers.end());
}

// Rotates the banners until shutdown. Callbacks run without the lock held, so a control
// may call back into the engine from them.
void tick(Engine& e) {
    std::unique_lock<std::mutex> guard(e.lock);
    while (!e.stopping) {
        const auto period = std::max<std::chrono::seconds>(
            RotationPeriod, std::chrono::seconds(e.minimumDisplaySeconds));
        if (e.wake.wait_for(guard, period, [&] { return e.stopping; })) break;
        reapOpeners(e);
        const bool wasShown = e.bannerShown;
        e.banner = (e.banner + 1) % advert::houseBannerCount();
        e.bannerShown = false;
        const AdvertCallback counted = wasShown ? e.counted : nullptr;
        void* countedControl = e.countedControl;
        const AdvertCallback repaint = e.repaint;
        void* repaintControl = e.repaintControl;
        guard.unlock();
        if (counted) counted(countedControl);
        if (repaint) repaint(repaintControl);
        guard.lock();
    }
}

int32_t registerCallback(AdvertContext* context, AdvertCallback callback, void* control,
                         AdvertCallback Engine::*slot, void* Engine::*controlSlot) {
    Engine* e = engineOf(context);
    if (!e) return 0;
    std::lock_guard<std::mutex> guard(e->lock);
    e->*slot = callback;
    e->*controlSlot = control;
    return 1;
}

template <class Change> int32_t change(AdvertContext* context, Change&& apply) {
    Engine* e = engineOf(context);
    if (!e) return 0;
    std::lock_guard<std::mutex> guard(e->lock);
    apply(*e);
    return 1;
}

} // namespace

#define ADVERT_ENTRY(name) __asm__(name) __attribute__((visibility("default")))

extern "C" {

int32_t advertStartup(AdvertContext* context, void*, int32_t, int32_t programId, int32_t sizeCode,
                      int32_t options) ADVERT_ENTRY("_Startup");
int32_t advertStartup(AdvertContext* context, void*, int32_t, int32_t programId, int32_t sizeCode,
                      int32_t options) {
    if (!context || !context->instance || *context->instance) return 0;
    auto* e = new Engine;
    e->programId = programId;
    e->sizeCode = sizeCode;
    e->options = options;
    *context->instance = reinterpret_cast<uintptr_t>(e);
    e->ticker = std::thread(tick, std::ref(*e));
    return 1;
}

int32_t advertShutdown(AdvertContext* context) ADVERT_ENTRY("_Shutdown");
int32_t advertShutdown(AdvertContext* context) {
    Engine* e = engineOf(context);
    if (!e) return 0;
    {
        std::lock_guard<std::mutex> guard(e->lock);
        e->stopping = true;
    }
    e->wake.notify_all();
    e->ticker.join();
    reapOpeners(*e);
    delete e;
    *context->instance = 0;
    return 1;
}

int32_t advertSetCallback(AdvertContext* c, AdvertCallback f, void* control)
    ADVERT_ENTRY("_SetCallback");
int32_t advertSetCallback(AdvertContext* c, AdvertCallback f, void* control) {
    return registerCallback(c, f, control, &Engine::repaint, &Engine::repaintControl);
}

int32_t advertSetNetworkCallback(AdvertContext* c, AdvertCallback f, void* control)
    ADVERT_ENTRY("_SetNetworkCallback");
int32_t advertSetNetworkCallback(AdvertContext* c, AdvertCallback f, void* control) {
    const int32_t result =
        registerCallback(c, f, control, &Engine::network, &Engine::networkControl);
    // The engine never dials: it tells the control at once to settle the network state.
    if (result && f) f(control);
    return result;
}

int32_t advertSetAdRecordedCallback(AdvertContext* c, AdvertCallback f, void* control)
    ADVERT_ENTRY("_SetAdRecordedCallback");
int32_t advertSetAdRecordedCallback(AdvertContext* c, AdvertCallback f, void* control) {
    return registerCallback(c, f, control, &Engine::counted, &Engine::countedControl);
}

int32_t advertSetBandwidthThrottle(AdvertContext* c, int32_t value)
    ADVERT_ENTRY("_SetBandwidthThrottle");
int32_t advertSetBandwidthThrottle(AdvertContext* c, int32_t value) {
    return change(c, [&](Engine& e) { e.bandwidthThrottle = value; });
}

int32_t advertSetMinimumAdDisplayTime(AdvertContext* c, int32_t value)
    ADVERT_ENTRY("_SetMinimumAdDisplayTime");
int32_t advertSetMinimumAdDisplayTime(AdvertContext* c, int32_t value) {
    return change(c, [&](Engine& e) { e.minimumDisplaySeconds = std::max<int32_t>(0, value); });
}

int32_t advertSetNetworkState(AdvertContext* c, int32_t up) ADVERT_ENTRY("_SetNetworkState");
int32_t advertSetNetworkState(AdvertContext* c, int32_t up) {
    return change(c, [&](Engine& e) {
        e.networkUp = up != 0;
        e.status =
            e.networkUp ? (e.status | ADVERT_NETWORK_IS_UP) : (e.status & ~ADVERT_NETWORK_IS_UP);
    });
}

int32_t advertIsConnectOkay(AdvertContext* c, int32_t* okay) ADVERT_ENTRY("_IsConnectOkay");
int32_t advertIsConnectOkay(AdvertContext* c, int32_t* okay) {
    if (!okay) return 0;
    return change(c, [&](Engine& e) { *okay = e.networkUp ? 1 : 0; });
}

int32_t advertSetProxy(AdvertContext* c, const char* host, int32_t port, const char*)
    ADVERT_ENTRY("_SetProxy");
int32_t advertSetProxy(AdvertContext* c, const char* host, int32_t port, const char*) {
    return change(c, [&](Engine& e) {
        e.proxyOn = host != nullptr;
        e.proxyHost = host ? host : "";
        e.proxyPort = port;
    });
}

int32_t advertGetStatus(AdvertContext* c, int32_t* status, int32_t) ADVERT_ENTRY("_GetStatus");
int32_t advertGetStatus(AdvertContext* c, int32_t* status, int32_t) {
    if (!status) return 0;
    *status = 0;
    return change(c, [&](Engine& e) { *status = e.status; });
}

int32_t advertPaint(AdvertContext* c, AdvertCanvas* canvas, int32_t, int32_t)
    ADVERT_ENTRY("_Paint");
int32_t advertPaint(AdvertContext* c, AdvertCanvas* canvas, int32_t, int32_t) {
    if (!canvas || !canvas->pixels || canvas->bytesPerLine < canvas->width * 4) return 0;
    // Before the start there is nothing to rotate: the first banner shows.
    int banner = 0;
    change(c, [&](Engine& e) {
        banner = e.banner;
        e.bannerShown = true;
    });
    advert::drawHouseBanner(banner, canvas->pixels, canvas->width, canvas->height,
                            canvas->bytesPerLine);
    return 1;
}

int32_t advertOnClick(AdvertContext* c) ADVERT_ENTRY("_OnClick");
int32_t advertOnClick(AdvertContext* c) {
    Engine* e = engineOf(c);
    if (!e) return 0;
    const std::string page = lumi::makerHomePage();
    char opener[] = "xdg-open";
    std::vector<char> address(page.begin(), page.end());
    address.push_back('\0');
    char* argv[] = {opener, address.data(), nullptr};
    pid_t pid = 0;
    // Without a handler on this desktop the click does nothing.
    const bool started = posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ) == 0;
    std::lock_guard<std::mutex> guard(e->lock);
    if (started) e->openers.push_back(pid);
    e->status |= started ? ADVERT_CLICK_HAS_WORKED : ADVERT_CLICK_HAS_FAILED;
    return started ? 1 : 0;
}

// Looked up by the control but never called; present so that every lookup succeeds.
int32_t advertRetryConnect(AdvertContext*) ADVERT_ENTRY("_RetryConnect");
int32_t advertRetryConnect(AdvertContext*) {
    return 0;
}
int32_t advertUseDefaultAd(AdvertContext* c) ADVERT_ENTRY("_UseDefaultAd");
int32_t advertUseDefaultAd(AdvertContext* c) {
    return change(c, [](Engine& e) { e.banner = 0; });
}
int32_t advertDebugTriggerEvent(AdvertContext*, int32_t) ADVERT_ENTRY("_debugTriggerEvent");
int32_t advertDebugTriggerEvent(AdvertContext*, int32_t) {
    return 0;
}

} // extern "C"
