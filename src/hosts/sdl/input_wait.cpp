// What both systems' waits share: SDL's own wait as the fallback, and taking a pushed event.
#include "hosts/sdl/input_wait.h"

#include "ui/host.h"

#include <algorithm>
#include <thread>

#include "hosts/sdl/input_wait_shared.h"

namespace pelorin::sdl {

namespace {

// SDL's own wait counts whole milliseconds: it is left this long before the deadline.
constexpr int64_t SDL_WAIT_MARGIN_NANOS = 2 * NANOS_PER_MILLI;
// An event another thread announced is in SDL's queue within microseconds; this is far beyond.
constexpr int64_t PUSH_ARRIVAL_NANOS = NANOS_PER_MILLI;

}  // namespace

bool SdlHasEvents() { return SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_TRUE; }

void AwaitPushedEvent() {
    // The pushing thread tells its watchers before it queues the event.
    int64_t giveUp = MonotonicNanos() + PUSH_ARRIVAL_NANOS;
    while (!SdlHasEvents() && MonotonicNanos() < giveUp) std::this_thread::yield();
}

void SleepInSdl(int64_t deadlineNanos) {
    if (deadlineNanos == NO_DEADLINE) {
        SDL_WaitEvent(nullptr);
        return;
    }
    int64_t remaining = deadlineNanos - MonotonicNanos() - SDL_WAIT_MARGIN_NANOS;
    if (remaining >= NANOS_PER_MILLI) {
        SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<int64_t>(remaining / NANOS_PER_MILLI, 1 << 30)));
        return;
    }
    while (MonotonicNanos() < deadlineNanos) {
        SDL_PumpEvents();
        if (SdlHasEvents()) return;
    }
}

}  // namespace pelorin::sdl
