#pragma once

#include <cstdint>
#include <functional>

namespace pelorin {

class Screen;
class Runtime;

// A screen's timer. While enabled with an interval above 0 it ticks every Interval ms on the one
// thread, each tick keyed to its schedule rather than to when the last handler ran. Enabling it, or
// setting its interval, restarts the count from now. Interval 0 never ticks.
class Timer {
public:
    Timer(Screen& owner, std::function<void()> handler);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Throws std::invalid_argument for a negative interval.
    void SetInterval(int milliseconds);
    void SetEnabled(bool value);

    // When the next tick falls due, or NO_DEADLINE if the timer does not tick.
    int64_t DueAt() const;

private:
    friend class Runtime;

    void Restart();
    // Puts the next tick off by the time the thread was held by a modal box.
    void Hold(int64_t micros) { dueAt += micros; }
    // Moves the due time past now without making up missed ticks, then runs the handler.
    void Fire(int64_t now);

    Runtime& runtime;
    std::function<void()> handler;
    int interval = 0;
    bool enabled = false;
    int64_t dueAt = 0;
};

}  // namespace pelorin
