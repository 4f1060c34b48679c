#include "hosts/sdl/key_arrival.h"

#include <SDL_syswm.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace pelorin::sdl {

namespace {

constexpr int64_t NANOS_PER_MILLI = 1'000'000;
// A server stamp further before the read than this is not taken for this machine's clock: no key
// waits that long unread while the program runs its screens.
constexpr int64_t LONGEST_WAIT_NANOS = 1'000 * NANOS_PER_MILLI;

}  // namespace

std::optional<uint32_t> KeyPressServerMillis(const SDL_Event& event) {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr || event.syswm.msg->subsystem != SDL_SYSWM_X11) {
        return std::nullopt;
    }
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type != KeyPress) return std::nullopt;
    return static_cast<uint32_t>(x.xkey.time);
#else
    (void)event;
    return std::nullopt;
#endif
}

bool WatchKeyPressTimes() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return false;
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    return true;
}

int64_t ServerStampSpanNanos() {
    int64_t span = NANOS_PER_MILLI;
#if defined(CLOCK_MONOTONIC_COARSE)
    timespec resolution{};
    if (clock_getres(CLOCK_MONOTONIC_COARSE, &resolution) == 0 && resolution.tv_sec == 0 &&
        resolution.tv_nsec <= NANOS_PER_MILLI) {
        span += resolution.tv_nsec;
    }
#endif
    return span;
}

int64_t KeyArrivalNanos(int64_t readNanos, uint32_t serverMillis, int64_t spanNanos) {
    // The server's milliseconds wrap at 2^32: the stamp is taken as the latest such time not after
    // the read's millisecond, so how long before the read it was is its distance modulo 2^32.
    auto readMillis = static_cast<uint32_t>(static_cast<uint64_t>(readNanos / NANOS_PER_MILLI));
    int64_t millisBefore = static_cast<uint32_t>(readMillis - serverMillis);
    int64_t stampNanos = (readNanos / NANOS_PER_MILLI - millisBefore) * NANOS_PER_MILLI;
    if (millisBefore * NANOS_PER_MILLI > LONGEST_WAIT_NANOS) return readNanos;
    // Never later than the read, never before the key can have reached the server.
    return std::min(readNanos, stampNanos + spanNanos);
}

}  // namespace pelorin::sdl
