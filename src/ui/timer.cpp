#include "ui/timer.h"

#include <stdexcept>

#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin {

Timer::Timer(Screen& owner, std::function<void()> handler) : runtime(owner.runtime), handler(std::move(handler)) {
    runtime.AddTimer(this);
}

Timer::~Timer() { runtime.RemoveTimer(this); }

void Timer::SetInterval(int milliseconds) {
    if (milliseconds < 0) throw std::invalid_argument("Timer interval must not be negative");
    interval = milliseconds;
    if (enabled) Restart();
}

void Timer::SetEnabled(bool value) {
    enabled = value;
    if (enabled) Restart();
}

int64_t Timer::DueAt() const { return enabled && interval > 0 ? dueAt : NO_DEADLINE; }

void Timer::Restart() { dueAt = runtime.host.NowMicros() + int64_t{interval} * 1000; }

void Timer::Fire(int64_t now) {
    int64_t period = int64_t{interval} * 1000;
    // A tick that fell due while the thread was busy fires once now; missed ticks are not made up,
    // and the next tick stays on the schedule the timer was started with.
    dueAt += period * ((now - dueAt) / period + 1);
    handler();
}

}  // namespace pelorin
