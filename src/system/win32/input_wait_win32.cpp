// The wait on Windows: the thread's message queue, an event for events other threads push, and a
// high-resolution waitable timer, all in one MsgWaitForMultipleObjectsEx.
#include "hosts/sdl/input_wait.h"

#include "ui/host.h"

#include <windows.h>

#include <algorithm>

#include "hosts/sdl/input_wait_shared.h"
#include "hosts/sdl/wake_margin.h"
#include "system/win32/win32_handle.h"

namespace pelorin::sdl {

namespace {

// Windows 10 1803 and later; mingw-w64 10's headers do not name it yet.
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION_FLAG = 0x2;
// A timer's due time counts 100 ns units.
constexpr int64_t NANOS_PER_TIMER_UNIT = 100;

HANDLE MakeTimer() {
    // The high-resolution timer wakes within a fraction of a millisecond; the ordinary one only at
    // the system's timer period (up to 15.6 ms), which the learned margin cannot cover.
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION_FLAG, TIMER_ALL_ACCESS);
    return timer != nullptr ? timer : CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

}  // namespace

struct InputWait::State {
    static int SDLCALL Watch(void* userdata, SDL_Event* event);
    void SleepOnQueue(int64_t deadlineNanos);
    bool TakeWakeUp() {
        if (WaitForSingleObject(wake.Get(), 0) != WAIT_OBJECT_0) return false;
        AwaitPushedEvent();
        return true;
    }

    Win32Handle timer{MakeTimer()};
    // Auto-reset: one wait takes one announcement.
    Win32Handle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    SDL_threadID mainThread = SDL_ThreadID();
    WakeMargin margin;
};

InputWait::InputWait(SDL_Window*) : state(std::make_unique<State>()) {
    if (OnSystemWait()) SDL_AddEventWatch(&State::Watch, state.get());
}

InputWait::~InputWait() {
    if (OnSystemWait()) SDL_DelEventWatch(&State::Watch, state.get());
}

bool InputWait::OnSystemWait() const { return state->timer && state->wake; }
int64_t InputWait::MarginNanos() const { return state->margin.Nanos(); }

int SDLCALL InputWait::State::Watch(void* userdata, SDL_Event*) {
    auto& self = *static_cast<State*>(userdata);
    // Events of the main thread come from its own reading of its messages; another thread's push
    // would otherwise wait for the next key or deadline.
    if (SDL_ThreadID() != self.mainThread) SetEvent(self.wake.Get());
    return 0;
}

void InputWait::Sleep(int64_t deadlineNanos) {
    if (OnSystemWait()) {
        state->SleepOnQueue(deadlineNanos);
    } else {
        SleepInSdl(deadlineNanos);
    }
}

void InputWait::State::SleepOnQueue(int64_t deadlineNanos) {
    int64_t wakeAt = deadlineNanos == NO_DEADLINE ? NO_DEADLINE : deadlineNanos - margin.Nanos();
    int64_t now = MonotonicNanos();
    if (wakeAt > now) {
        HANDLE handles[] = {wake.Get(), timer.Get()};
        DWORD count = 1;
        if (wakeAt != NO_DEADLINE) {
            // A tick left from an earlier wait that input ended would end this one at once, and
            // setting the timer does not clear it everywhere (Wine keeps it): stop the timer, then
            // take the tick, so that none can come in between.
            CancelWaitableTimer(timer.Get());
            WaitForSingleObject(timer.Get(), 0);
            // Relative (negative) due times: the counter above and the timer's clock need not agree
            // on where time began.
            LARGE_INTEGER due{};
            due.QuadPart = -std::max<int64_t>(1, (wakeAt - now) / NANOS_PER_TIMER_UNIT);
            if (!SetWaitableTimer(timer.Get(), &due, 0, nullptr, nullptr, FALSE)) {
                SleepInSdl(deadlineNanos);
                return;
            }
            count = 2;
        }
        // Input already in the queue counts too: SDL has looked at it but may not have taken it all.
        DWORD woke = MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            AwaitPushedEvent();
            return;
        }
        if (woke != WAIT_OBJECT_0 + 1 || count != 2) return;
        margin.Woke(MonotonicNanos() - wakeAt);
    }
    // The margin is spun in SDL's own reading of the messages, still answering input at once.
    while (MonotonicNanos() < deadlineNanos) {
        SDL_PumpEvents();
        if (SdlHasEvents() || TakeWakeUp()) return;
    }
}

}  // namespace pelorin::sdl
