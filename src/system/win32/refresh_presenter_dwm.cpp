// Windows: the window goes to the display through SDL's own present (a blit into the window, which
// DWM composes at its next pass), and DWM's composition timing says at which refresh each frame began
// to show: after each present a thread of its own waits for DWM's passes (DwmFlush) and reads the
// timing (DwmGetCompositionTimingInfo), which hosts/sdl/composition_frames.cpp turns into the frame's
// refresh. Where DWM does not answer (composition off, a remote session, Wine, which fills in the
// period and a refresh time computed from the clock but counts nothing), Open gives null and frames
// are timed at the call.
#include "system/win32/refresh_presenter_dwm.h"

#include <SDL_syswm.h>
#include <dwmapi.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "system/monotonic_clock.h"
#include "system/win32/performance_counter.h"

namespace pelorin::sdl {

namespace {

// Readings taken at start, each after a pixel presented and DWM's next pass: about four refreshes.
constexpr int START_READINGS = 4;
// A DwmFlush back sooner than this waited for no pass: the thread sleeps a little instead of spinning.
constexpr int64_t FLUSH_WAITED_NANOS = 200'000;

bool ReadDwm(CompositionSample& sample) {
    DWM_TIMING_INFO info{};
    info.cbSize = sizeof(info);
    // Since Windows 8.1 only the whole desktop's timing is given (the window's handle is refused).
    if (FAILED(DwmGetCompositionTimingInfo(nullptr, &info))) return false;
    const auto nanos = [](QPC_TIME counter) {
        return counter == 0 ? 0 : PerformanceCounterNanos(static_cast<int64_t>(counter));
    };
    sample.takenNanos = MonotonicNanos();
    sample.periodNanos = nanos(info.qpcRefreshPeriod);
    sample.refresh = info.cRefresh;
    sample.vblankNanos = nanos(info.qpcVBlank);
    sample.composed = info.cFrame;
    sample.composedNanos = nanos(info.qpcCompose);
    sample.displayed = info.cFrameDisplayed;
    sample.displayedRefresh = info.cRefreshFrameDisplayed;
    sample.displayedNanos = nanos(info.qpcFrameDisplayed);
    return true;
}

void AwaitDwmPass() {
    const int64_t before = MonotonicNanos();
    if (FAILED(DwmFlush()) || MonotonicNanos() - before < FLUSH_WAITED_NANOS) Sleep(1);
}

class PresentComposited : public RefreshPresenter {
public:
    PresentComposited(SDL_Window* window, CompositorTiming timing);
    ~PresentComposited() override;

    uint64_t Present(SDL_Surface& surface, const std::vector<SDL_Rect>& rects) override;
    bool Pending() const override { return pending.load(); }
    std::vector<ShownFrame> TakeShown() override;
    bool AwaitShown(int64_t timeoutNanos) override;
    int64_t RefreshNanos() const override;
    bool Failed() const override { return failed.load(); }
    const char* StampName() const override { return "DWM's composition timing"; }

private:
    void Watch();
    bool Settled(const std::vector<ShownFrame>& settled);
    static void Wake();

    SDL_Window* window;
    const CompositorTiming timing;
    uint64_t nextSerial = 1;

    mutable std::mutex mutex;
    std::condition_variable changed;
    CompositionFrames frames;
    std::deque<ShownFrame> shown;
    // The newest frame is in no composition yet: the next waits (CompositionFrames::Composing).
    std::atomic<bool> pending = false;
    std::atomic<bool> failed = false;
    bool stopping = false;
    std::thread watcher;
};

PresentComposited::PresentComposited(SDL_Window* window, CompositorTiming timing)
    : window(window), timing(std::move(timing)) {
    watcher = std::thread([this] { Watch(); });
}

PresentComposited::~PresentComposited() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    watcher.join();
}

// Called with the lock held; whether anything changed that the program waits for: a frame settled
// (its callers wait for its time), or the next frame may go out.
bool PresentComposited::Settled(const std::vector<ShownFrame>& settled) {
    shown.insert(shown.end(), settled.begin(), settled.end());
    if (frames.Failed()) failed = true;
    const bool wasPending = pending.exchange(frames.Composing() && !failed);
    return !settled.empty() || failed || (wasPending && !pending);
}

// Wakes the program's wait from another thread.
void PresentComposited::Wake() {
    SDL_Event wake{};
    wake.type = SDL_USEREVENT;
    SDL_PushEvent(&wake);
}

void PresentComposited::Watch() {
    std::unique_lock lock(mutex);
    while (true) {
        changed.wait(lock, [this] { return stopping || (frames.Pending() && !failed); });
        if (stopping) return;
        lock.unlock();
        timing.awaitPass();
        CompositionSample sample;
        const bool read = timing.read(sample);
        lock.lock();
        bool told = true;
        if (!read) {
            // DWM stopped answering (composition went off, the session was locked or went remote).
            failed = true;
            pending = false;
        } else {
            told = Settled(frames.Add(sample));
        }
        if (told) {
            changed.notify_all();
            Wake();
        }
    }
}

uint64_t PresentComposited::Present(SDL_Surface&, const std::vector<SDL_Rect>& rects) {
    const uint64_t serial = nextSerial++;
    // A reading just before the present: the composition after it is the first that can carry the frame.
    CompositionSample before;
    const bool read = timing.read(before);
    const bool presented =
        SDL_UpdateWindowSurfaceRects(window, rects.data(), static_cast<int>(rects.size())) == 0;
    const int64_t called = MonotonicNanos();
    bool told = false;
    {
        std::lock_guard lock(mutex);
        if (!read || !presented) {
            failed = true;
            return serial;
        }
        told = Settled(frames.Add(before));
        frames.Presented(serial, called);
        pending = !failed;
    }
    changed.notify_all();
    if (told) Wake();
    return serial;
}

std::vector<ShownFrame> PresentComposited::TakeShown() {
    std::lock_guard lock(mutex);
    std::vector<ShownFrame> taken(shown.begin(), shown.end());
    shown.clear();
    return taken;
}

bool PresentComposited::AwaitShown(int64_t timeoutNanos) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::nanoseconds(timeoutNanos),
                            [this] { return failed.load() || !frames.Pending(); });
}

int64_t PresentComposited::RefreshNanos() const {
    std::lock_guard lock(mutex);
    return frames.RefreshNanos();
}

}  // namespace

std::unique_ptr<RefreshPresenter> OpenCompositedPresenter(SDL_Window* window, CompositorTiming timing) {
    if (SDL_GetWindowSurface(window) == nullptr) return nullptr;
    std::vector<CompositionSample> samples;
    const SDL_Rect pixel{0, 0, 1, 1};
    for (int reading = 0; reading < START_READINGS; ++reading) {
        if (SDL_UpdateWindowSurfaceRects(window, &pixel, 1) != 0) return nullptr;
        timing.awaitPass();
        CompositionSample sample;
        if (!timing.read(sample)) return nullptr;
        samples.push_back(sample);
    }
    if (!CompositionFrames::Answers(samples)) return nullptr;
    return std::make_unique<PresentComposited>(window, std::move(timing));
}

std::unique_ptr<RefreshPresenter> RefreshPresenter::Open(SDL_Window* window) {
    if (const char* atCall = std::getenv("PELORIN_PRESENT_AT_CALL"); atCall != nullptr && *atCall == '1') return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_WINDOWS) {
        return nullptr;
    }
    BOOL composing = FALSE;
    if (FAILED(DwmIsCompositionEnabled(&composing)) || composing == FALSE) return nullptr;
    return OpenCompositedPresenter(window, CompositorTiming{AwaitDwmPass, ReadDwm});
}

}  // namespace pelorin::sdl
