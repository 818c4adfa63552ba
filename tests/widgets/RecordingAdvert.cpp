// A stand-in banner engine for TAdImage's tests. It exports every entry (built a second time
// without "_SetNetworkCallback"), records each call with its arguments, fails the entry the
// test names, and calls the registered callbacks when the test asks.
#include <cstdint>
#include <string>

#include "advert/advert.h"

#define EXPORTED __attribute__((visibility("default")))
#define ENTRY(name) __asm__(name) EXPORTED

namespace {

struct Recording {
    std::string calls;
    std::string failing;
    int32_t status = 0;
    int32_t connectOkay = 0;
    AdvertCallback callbacks[3] = {};
    void* controls[3] = {};
};

Recording state;

// Records one call; the answer is 0 for the failing entry and for a malformed context block.
int32_t record(const char* entry, AdvertContext* context, const std::string& args = {}) {
    const bool wellFormed = context && context->instance && context->reserved == 0;
    state.calls += std::string(entry) + "(" + args + ")" + (wellFormed ? "" : "!context") + "\n";
    return wellFormed && state.failing != entry ? 0x10000 | 1 : 0x10000;
}

std::string number(int64_t n) {
    return std::to_string(n);
}

int32_t keep(int slot, const char* entry, AdvertContext* c, AdvertCallback f, void* control) {
    state.callbacks[slot] = f;
    state.controls[slot] = control;
    return record(entry, c, f && control ? "callback" : "null");
}

} // namespace

extern "C" {

EXPORTED const char* recordingAdvertCalls() {
    return state.calls.c_str();
}

EXPORTED void recordingAdvertReset(const char* failing, int32_t status, int32_t connectOkay) {
    state = Recording{};
    state.failing = failing;
    state.status = status;
    state.connectOkay = connectOkay;
}

// 0 repaint, 1 network, 2 counted.
EXPORTED void recordingAdvertFire(int which) {
    if (state.callbacks[which]) state.callbacks[which](state.controls[which]);
}

int32_t rStartup(AdvertContext* c, void* library, int32_t zero, int32_t id, int32_t size,
                 int32_t options) ENTRY("_Startup");
int32_t rStartup(AdvertContext* c, void* library, int32_t zero, int32_t id, int32_t size,
                 int32_t options) {
    return record("_Startup", c,
                  std::string(library ? "library" : "null") + "," + number(zero) + "," +
                      number(id) + "," + number(size) + "," + number(options));
}

int32_t rSetCallback(AdvertContext* c, AdvertCallback f, void* control) ENTRY("_SetCallback");
int32_t rSetCallback(AdvertContext* c, AdvertCallback f, void* control) {
    return keep(0, "_SetCallback", c, f, control);
}

#ifndef RECORDING_ADVERT_WITHOUT_NETWORK_CALLBACK
int32_t rSetNetworkCallback(AdvertContext* c, AdvertCallback f, void* control)
    ENTRY("_SetNetworkCallback");
int32_t rSetNetworkCallback(AdvertContext* c, AdvertCallback f, void* control) {
    return keep(1, "_SetNetworkCallback", c, f, control);
}
#endif

int32_t rSetAdRecordedCallback(AdvertContext* c, AdvertCallback f, void* control)
    ENTRY("_SetAdRecordedCallback");
int32_t rSetAdRecordedCallback(AdvertContext* c, AdvertCallback f, void* control) {
    return keep(2, "_SetAdRecordedCallback", c, f, control);
}

int32_t rSetBandwidthThrottle(AdvertContext* c, int32_t value) ENTRY("_SetBandwidthThrottle");
int32_t rSetBandwidthThrottle(AdvertContext* c, int32_t value) {
    return record("_SetBandwidthThrottle", c, number(value));
}

int32_t rSetMinimumAdDisplayTime(AdvertContext* c, int32_t value) ENTRY("_SetMinimumAdDisplayTime");
int32_t rSetMinimumAdDisplayTime(AdvertContext* c, int32_t value) {
    return record("_SetMinimumAdDisplayTime", c, number(value));
}

int32_t rPaint(AdvertContext* c, AdvertCanvas* canvas, int32_t x, int32_t y) ENTRY("_Paint");
int32_t rPaint(AdvertContext* c, AdvertCanvas* canvas, int32_t x, int32_t y) {
    // A mark in the top-left pixel shows that the picture reached the screen.
    if (canvas && canvas->pixels && canvas->width > 0) canvas->pixels[0] = 0xFF00FF00u;
    return record("_Paint", c,
                  canvas ? number(canvas->width) + "x" + number(canvas->height) + "," +
                               number(canvas->bytesPerLine) + "," + number(x) + "," + number(y)
                         : "null");
}

int32_t rOnClick(AdvertContext* c) ENTRY("_OnClick");
int32_t rOnClick(AdvertContext* c) {
    return record("_OnClick", c);
}

int32_t rIsConnectOkay(AdvertContext* c, int32_t* okay) ENTRY("_IsConnectOkay");
int32_t rIsConnectOkay(AdvertContext* c, int32_t* okay) {
    if (okay) *okay = state.connectOkay;
    return record("_IsConnectOkay", c);
}

int32_t rSetNetworkState(AdvertContext* c, int32_t up) ENTRY("_SetNetworkState");
int32_t rSetNetworkState(AdvertContext* c, int32_t up) {
    return record("_SetNetworkState", c, number(up));
}

int32_t rSetProxy(AdvertContext* c, const char* host, int32_t port, const char* bypass)
    ENTRY("_SetProxy");
int32_t rSetProxy(AdvertContext* c, const char* host, int32_t port, const char* bypass) {
    return record("_SetProxy", c,
                  std::string(host ? host : "null") + "," + number(port) + "," +
                      (bypass ? bypass : "null"));
}

int32_t rGetStatus(AdvertContext* c, int32_t* status, int32_t zero) ENTRY("_GetStatus");
int32_t rGetStatus(AdvertContext* c, int32_t* status, int32_t zero) {
    if (status) *status = state.status;
    return record("_GetStatus", c, number(zero));
}

int32_t rShutdown(AdvertContext* c) ENTRY("_Shutdown");
int32_t rShutdown(AdvertContext* c) {
    return record("_Shutdown", c);
}

int32_t rRetryConnect(AdvertContext* c) ENTRY("_RetryConnect");
int32_t rRetryConnect(AdvertContext* c) {
    return record("_RetryConnect", c);
}

int32_t rUseDefaultAd(AdvertContext* c) ENTRY("_UseDefaultAd");
int32_t rUseDefaultAd(AdvertContext* c) {
    return record("_UseDefaultAd", c);
}

int32_t rDebugTriggerEvent(AdvertContext* c, int32_t event) ENTRY("_debugTriggerEvent");
int32_t rDebugTriggerEvent(AdvertContext* c, int32_t event) {
    return record("_debugTriggerEvent", c, number(event));
}

} // extern "C"
