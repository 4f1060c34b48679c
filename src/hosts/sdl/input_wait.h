#pragma once

#include <cstdint>
#include <memory>

#include "hosts/sdl/sdl_types.h"
#include "system/monotonic_clock.h"

namespace pelorin::sdl {

// Puts the one thread to sleep until the window system has input for it, another thread has pushed
// an SDL event, or a deadline comes, whichever is first. It sleeps on the system's own input and a
// system timer set a learned margin before the deadline, then spins the margin: the deadline is met
// to well under a millisecond for a few hundred microseconds of spinning per wake-up, and an idle
// wait costs no CPU. Each system's half lives in a file of its own (linux/input_wait_x11.cpp,
// win32/input_wait_win32.cpp); where the system's input cannot be reached it falls back on SDL's
// millisecond wait and a short spin.
class InputWait {
public:
    // The window whose input is slept on.
    explicit InputWait(SDL_Window* window);
    ~InputWait();
    InputWait(const InputWait&) = delete;
    InputWait& operator=(const InputWait&) = delete;

    // Returns when SDL may have an event to give or when the monotonic clock reaches deadlineNanos
    // (NO_DEADLINE: never). Call it only right after SDL's queue was found empty, which also reads
    // the system's input dry: input arriving later wakes the sleep.
    void Sleep(int64_t deadlineNanos);

    // Whether it sleeps on the system's input and timer rather than on SDL's millisecond wait.
    bool OnSystemWait() const;
    int64_t MarginNanos() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

// SDL's own wait, for when the system's cannot be used: to the millisecond, then spun.
void SleepInSdl(int64_t deadlineNanos);

}  // namespace pelorin::sdl
