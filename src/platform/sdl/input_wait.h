#pragma once

#include <cstdint>

#include "platform/posix_file_descriptor.h"
#include "platform/sdl/sdl_types.h"
#include "platform/sdl/wake_margin.h"

namespace pelorin::sdl {

// Nanoseconds on the monotonic clock, the one the kernel's timers run on.
int64_t MonotonicNanos();

// Puts the one thread to sleep until the window system has input for it, another thread has pushed
// an SDL event, or a deadline comes, whichever is first. On X11 it sleeps on the display connection
// and on a kernel timer set a learned margin before the deadline, then spins the margin: the deadline
// is met to a few microseconds for a few hundred microseconds of spinning per wake-up. Elsewhere it
// falls back on SDL's millisecond wait and a short spin.
class InputWait {
public:
    // The window's display connection is the one slept on.
    explicit InputWait(SDL_Window* window);
    ~InputWait();
    InputWait(const InputWait&) = delete;
    InputWait& operator=(const InputWait&) = delete;

    // Returns when SDL may have an event to give or when the monotonic clock reaches deadlineNanos
    // (NO_DEADLINE: never). Call it only right after SDL's queue was found empty, which also reads
    // the display connection dry: data arriving later wakes the sleep.
    void Sleep(int64_t deadlineNanos);

    bool OnDisplayConnection() const { return displayFd >= 0; }
    int64_t MarginNanos() const { return margin.Nanos(); }

private:
    static int SDLCALL Watch(void* userdata, SDL_Event* event);
    void SleepOnConnection(int64_t deadlineNanos);
    void SleepInSdl(int64_t deadlineNanos);
    // Empties the wake-up counter, then waits for the event it announced to reach SDL's queue.
    void TakeWakeUp();

    int displayFd = -1;
    FileDescriptor timer;
    FileDescriptor wake;
    SDL_threadID mainThread;
    WakeMargin margin;
};

}  // namespace pelorin::sdl
