// The wait on X11: the display connection, an eventfd for events other threads push, and a timerfd.
#include "hosts/sdl/input_wait.h"

// Before X11's headers, whose macros (KeyPress, None) would rename the core's names.
#include "ui/host.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include "hosts/sdl/input_wait_shared.h"
#include "hosts/sdl/wake_margin.h"
#include "system/posix/posix_files.h"

namespace pelorin::sdl {

namespace {

timespec ToTimespec(int64_t nanos) {
    return timespec{static_cast<time_t>(nanos / NANOS_PER_SECOND), static_cast<long>(nanos % NANOS_PER_SECOND)};
}

void Drain(int fd) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t ignored = read(fd, &count, sizeof count);
}

Display* DisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE) return nullptr;
    if (info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

}  // namespace

struct InputWait::State {
    static int SDLCALL Watch(void* userdata, SDL_Event* event);
    void SleepOnConnection(int64_t deadlineNanos);
    // Empties the wake-up counter, then waits for the event it announced to reach SDL's queue.
    void TakeWakeUp() {
        Drain(wake.Get());
        AwaitPushedEvent();
    }

    Display* display = nullptr;
    int displayFd = -1;
    FileDescriptor timer{timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)};
    FileDescriptor wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    SDL_threadID mainThread = SDL_ThreadID();
    WakeMargin margin;
};

InputWait::InputWait(SDL_Window* window) : state(std::make_unique<State>()) {
    state->display = DisplayOf(window);
    state->displayFd = state->display != nullptr ? ConnectionNumber(state->display) : -1;
    if (state->timer.Get() < 0 || state->wake.Get() < 0) state->displayFd = -1;
    if (state->displayFd >= 0) SDL_AddEventWatch(&State::Watch, state.get());
}

InputWait::~InputWait() {
    if (state->displayFd >= 0) SDL_DelEventWatch(&State::Watch, state.get());
}

bool InputWait::OnSystemWait() const { return state->displayFd >= 0; }
int64_t InputWait::MarginNanos() const { return state->margin.Nanos(); }

int SDLCALL InputWait::State::Watch(void* userdata, SDL_Event*) {
    auto& self = *static_cast<State*>(userdata);
    // Events of the main thread come from its own reading of the display; another thread's push
    // would otherwise wait for the next key or deadline.
    if (SDL_ThreadID() != self.mainThread) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = write(self.wake.Get(), &one, sizeof one);
    }
    return 0;
}

void InputWait::Sleep(int64_t deadlineNanos) {
    if (state->displayFd >= 0) {
        state->SleepOnConnection(deadlineNanos);
    } else {
        SleepInSdl(deadlineNanos);
    }
}

void InputWait::State::SleepOnConnection(int64_t deadlineNanos) {
    pollfd fds[] = {{displayFd, POLLIN, 0}, {wake.Get(), POLLIN, 0}, {timer.Get(), POLLIN, 0}};
    int64_t wakeAt = deadlineNanos == NO_DEADLINE ? NO_DEADLINE : deadlineNanos - margin.Nanos();
    // Events a reply of SDL's present read along with it wait in Xlib's queue, not on the connection.
    if (XEventsQueued(display, QueuedAlready) > 0) return;
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
        if (SdlHasEvents()) return;
        if (poll(&fds[1], 1, 0) > 0) {
            TakeWakeUp();
            return;
        }
    }
}

}  // namespace pelorin::sdl
