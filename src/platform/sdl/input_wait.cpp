#include "platform/sdl/input_wait.h"

// Before X11's headers, whose macros (KeyPress, None) would rename the core's names.
#include "platform/host.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace pelorin::sdl {

namespace {

constexpr int64_t NANOS_PER_SECOND = 1'000'000'000;
constexpr int64_t NANOS_PER_MILLI = 1'000'000;
// SDL's own wait counts whole milliseconds: it is left this long before the deadline.
constexpr int64_t SDL_WAIT_MARGIN_NANOS = 2 * NANOS_PER_MILLI;
// An event another thread announced is in SDL's queue within microseconds; this is far beyond.
constexpr int64_t PUSH_ARRIVAL_NANOS = NANOS_PER_MILLI;

timespec ToTimespec(int64_t nanos) {
    return timespec{static_cast<time_t>(nanos / NANOS_PER_SECOND), static_cast<long>(nanos % NANOS_PER_SECOND)};
}

void Drain(int fd) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t ignored = read(fd, &count, sizeof count);
}

int DisplayConnection(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE) return -1;
    if (info.subsystem != SDL_SYSWM_X11 || info.info.x11.display == nullptr) return -1;
    return ConnectionNumber(info.info.x11.display);
}

}  // namespace

int64_t MonotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * NANOS_PER_SECOND + now.tv_nsec;
}

InputWait::InputWait(SDL_Window* window)
    : displayFd(DisplayConnection(window)),
      timer(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
      wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      mainThread(SDL_ThreadID()) {
    if (timer.Get() < 0 || wake.Get() < 0) displayFd = -1;
    if (displayFd >= 0) SDL_AddEventWatch(&Watch, this);
}

InputWait::~InputWait() {
    if (displayFd >= 0) SDL_DelEventWatch(&Watch, this);
}

int SDLCALL InputWait::Watch(void* userdata, SDL_Event*) {
    auto& self = *static_cast<InputWait*>(userdata);
    // Events of the main thread come from its own reading of the display; another thread's push
    // would otherwise wait for the next key or deadline.
    if (SDL_ThreadID() != self.mainThread) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = write(self.wake.Get(), &one, sizeof one);
    }
    return 0;
}

void InputWait::Sleep(int64_t deadlineNanos) {
    if (displayFd >= 0) {
        SleepOnConnection(deadlineNanos);
    } else {
        SleepInSdl(deadlineNanos);
    }
}

void InputWait::SleepOnConnection(int64_t deadlineNanos) {
    pollfd fds[] = {{displayFd, POLLIN, 0}, {wake.Get(), POLLIN, 0}, {timer.Get(), POLLIN, 0}};
    int64_t wakeAt = deadlineNanos == NO_DEADLINE ? NO_DEADLINE : deadlineNanos - margin.Nanos();
    if (wakeAt > MonotonicNanos()) {
        itimerspec setting{};
        // An absolute time on the kernel's clock: no drift from the moment the sleep was asked for.
        if (wakeAt != NO_DEADLINE) setting.it_value = ToTimespec(wakeAt);
        timerfd_settime(timer.Get(), TFD_TIMER_ABSTIME, &setting, nullptr);
        if (poll(fds, 3, -1) <= 0) return;
        if ((fds[1].revents & POLLIN) != 0) {
            TakeWakeUp();
            return;
        }
        if (fds[0].revents != 0 || (fds[2].revents & POLLIN) == 0) return;
        Drain(timer.Get());
        margin.Woke(MonotonicNanos() - wakeAt);
    }
    // The margin is spun in SDL's own reading of the display, still answering input at once; that also
    // has SDL's path warm for the reading that follows the deadline, 30 microseconds slower when cold.
    while (MonotonicNanos() < deadlineNanos) {
        SDL_PumpEvents();
        if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_TRUE) return;
        if (poll(&fds[1], 1, 0) > 0) {
            TakeWakeUp();
            return;
        }
    }
}

void InputWait::TakeWakeUp() {
    Drain(wake.Get());
    // The pushing thread tells its watchers before it queues the event.
    int64_t giveUp = MonotonicNanos() + PUSH_ARRIVAL_NANOS;
    while (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_FALSE && MonotonicNanos() < giveUp) sched_yield();
}

void InputWait::SleepInSdl(int64_t deadlineNanos) {
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
        if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_TRUE) return;
    }
}

}  // namespace pelorin::sdl
