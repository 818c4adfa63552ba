/* The C interface between the sponsor banner control (TAdImage) and its engine library,
 * libadvert.so, which the control loads at run time and calls by entry name.
 *
 * Every entry takes the control's context block first and succeeds when the low 16 bits of
 * its result are non-zero. The engine keeps its own state behind the context block's first
 * word, which the control owns and zeroes before "_Startup".
 *
 * The drawing context of "_Paint" is an AdvertCanvas: 32-bit pixels, each 0xffRRGGBB as a
 * native-endian uint32_t (Qt's QImage::Format_RGB32), lines from the top, the first pixel of
 * a line at the left. The engine writes every pixel of width x height and nothing outside. */
#ifndef LUMISIFT_ADVERT_H
#define LUMISIFT_ADVERT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The control's context block: a pointer to a word the control owns (zero until the engine
 * stores its instance there), then 0. */
typedef struct AdvertContext {
    uintptr_t* instance;
    uintptr_t reserved;
} AdvertContext;

typedef struct AdvertCanvas {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t bytesPerLine;
} AdvertCanvas;

/* Called by the engine with the control it was registered with; from any thread. */
typedef void (*AdvertCallback)(void* control);

/* Status bits (_GetStatus). */
enum {
    ADVERT_WINSOCK_STARTED = 1 << 0,
    ADVERT_NETWORK_IS_UP = 1 << 1,
    ADVERT_CONNECT_HAS_FAILED = 1 << 4,
    ADVERT_CONNECT_HAS_WORKED = 1 << 5,
    ADVERT_PROXY_HAS_FAILED = 1 << 6,
    ADVERT_PROXY_HAS_WORKED = 1 << 7,
    ADVERT_CLICK_HAS_FAILED = 1 << 8,
    ADVERT_CLICK_HAS_WORKED = 1 << 9,
    ADVERT_IDLE = 1 << 12,
    ADVERT_CONNECTING = 1 << 13,
    ADVERT_WORKING = 1 << 14
};

/* Option bits (_Startup). */
enum {
    ADVERT_NO_CONNECT = 1 << 1,
    ADVERT_NO_DIAL_ON_DEMAND = 1 << 2,
    ADVERT_DELAYED_STARTUP = 1 << 4
};

/* The entries, as the control looks them up. */
typedef int32_t (*AdvertStartupEntry)(AdvertContext* context, void* library, int32_t zero,
                                      int32_t programId, int32_t sizeCode, int32_t options);
typedef int32_t (*AdvertSetCallbackEntry)(AdvertContext* context, AdvertCallback callback,
                                          void* control);
/* "_SetBandwidthThrottle" (bytes per second), "_SetMinimumAdDisplayTime" (seconds a banner
 * stays at least), "_SetNetworkState" (-1 up, 0 down), "_debugTriggerEvent" (event number). */
typedef int32_t (*AdvertSetNumberEntry)(AdvertContext* context, int32_t value);
typedef int32_t (*AdvertPaintEntry)(AdvertContext* context, AdvertCanvas* canvas, int32_t x,
                                    int32_t y);
typedef int32_t (*AdvertPlainEntry)(AdvertContext* context);
typedef int32_t (*AdvertReadNumberEntry)(AdvertContext* context, int32_t* value);
/* host: zero-terminated, or NULL for no proxy; bypass: the list of hosts reached directly. */
typedef int32_t (*AdvertSetProxyEntry)(AdvertContext* context, const char* host, int32_t port,
                                       const char* bypass);
typedef int32_t (*AdvertGetStatusEntry)(AdvertContext* context, int32_t* status, int32_t zero);

#ifdef __cplusplus
}
#endif

#endif
