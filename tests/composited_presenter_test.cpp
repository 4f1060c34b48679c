// The Windows presenter's own thread, on SDL's dummy display, with a compositor made up here on the
// program's clock (Wine's DWM counts nothing): frames told the refresh that showed them, the next sent
// while one waits to be shown, a compositor that falls silent, and one that never counted.
#include "system/win32/refresh_presenter_dwm.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "system/monotonic_clock.h"

namespace pelorin::sdl {
namespace {

constexpr int64_t PERIOD = 16'666'667;
constexpr int64_t COMPOSED_AFTER = 1'000'000;
constexpr int64_t BASE = 5000;

// A compositor at 60 Hz that composes a millisecond into every refresh and shows each composition at
// the next refresh, as DWM does.
class MadeUpCompositor {
public:
    std::atomic<bool> answering = true;

    CompositorTiming Timing() {
        return CompositorTiming{[this] { AwaitPass(); }, [this](CompositionSample& sample) { return Read(sample); }};
    }
    int64_t RefreshAt(int64_t nanos) const { return (nanos - start) / PERIOD; }
    int64_t RefreshNanos(int64_t refresh) const { return start + refresh * PERIOD; }

private:
    // The composition made last at `nanos`.
    int64_t ComposedAt(int64_t nanos) const {
        const int64_t refresh = RefreshAt(nanos);
        return nanos - RefreshNanos(refresh) >= COMPOSED_AFTER ? refresh : refresh - 1;
    }
    // Until the next composition has been made: slept to within 2 ms of it (a sleep may end early
    // by its rounding), then yielded.
    void AwaitPass() const {
        const int64_t next = RefreshNanos(ComposedAt(MonotonicNanos()) + 1) + COMPOSED_AFTER;
        for (int64_t now = MonotonicNanos(); now < next; now = MonotonicNanos()) {
            if (next - now > 2'000'000) {
                std::this_thread::sleep_for(std::chrono::nanoseconds(next - now - 2'000'000));
            } else {
                std::this_thread::yield();
            }
        }
    }
    bool Read(CompositionSample& sample) const {
        const int64_t now = MonotonicNanos();
        const int64_t refresh = RefreshAt(now);
        const int64_t composed = ComposedAt(now);
        const auto count = [](int64_t number) { return static_cast<uint64_t>(BASE + number); };
        sample = CompositionSample{now, PERIOD, count(refresh), RefreshNanos(refresh), count(composed),
                                   RefreshNanos(composed) + COMPOSED_AFTER, count(refresh - 1), count(refresh),
                                   RefreshNanos(refresh)};
        return answering;
    }

    // Refreshes began well before the test.
    const int64_t start = MonotonicNanos() - 10 * PERIOD;
};

class CompositedPresenter : public testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("presenter", 0, 0, 64, 48, 0);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        ASSERT_NE(SDL_GetWindowSurface(window), nullptr) << SDL_GetError();
        ASSERT_EQ(SDL_UpdateWindowSurfaceRects(window, pixel.data(), 1), 0) << SDL_GetError();
    }
    void TearDown() override {
        if (window != nullptr) SDL_DestroyWindow(window);
        SDL_Quit();
    }

    SDL_Window* window = nullptr;
    const std::vector<SDL_Rect> pixel = {SDL_Rect{0, 0, 1, 1}};
};

TEST_F(CompositedPresenter, FramesAreToldTheRefreshThatShowedThemAndTheNextGoesOutOnceComposed) {
    MadeUpCompositor compositor;
    std::unique_ptr<RefreshPresenter> presenter = OpenCompositedPresenter(window, compositor.Timing());
    ASSERT_NE(presenter, nullptr);
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    int stamped = 0;
    uint64_t lastMsc = 0;
    for (int pair = 0; pair < 4; ++pair) {
        // Two frames: the second sent as soon as a composition has taken the first.
        const int64_t before = MonotonicNanos();
        const uint64_t first = presenter->Present(*surface, pixel);
        const int64_t deadline = before + 200'000'000;
        while (presenter->Pending() && MonotonicNanos() < deadline) std::this_thread::yield();
        const uint64_t second = presenter->Present(*surface, pixel);
        ASSERT_TRUE(presenter->AwaitShown(200'000'000));
        std::vector<ShownFrame> shown = presenter->TakeShown();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].serial, first);
        EXPECT_EQ(shown[1].serial, second);
        for (const ShownFrame& frame : shown) {
            // A thread woken late may see two compositions at once: that frame keeps its call's time.
            if (!frame.stamped) continue;
            ++stamped;
            // At a refresh, after the call, later than the frame before, at most two refreshes late.
            EXPECT_EQ(compositor.RefreshNanos(static_cast<int64_t>(frame.msc) - BASE), frame.ustNanos);
            EXPECT_GT(frame.ustNanos, before);
            EXPECT_GT(frame.msc, lastMsc);
            EXPECT_LE(frame.msc, frame.targetMsc);
            lastMsc = frame.msc;
        }
    }
    EXPECT_GE(stamped, 6);
    EXPECT_FALSE(presenter->Failed());
    EXPECT_NEAR(static_cast<double>(presenter->RefreshNanos()), static_cast<double>(PERIOD), 1000.0);
}

TEST_F(CompositedPresenter, ACompositorThatFallsSilentOrNeverCountedGivesNoStamps) {
    {
        MadeUpCompositor compositor;
        std::unique_ptr<RefreshPresenter> presenter = OpenCompositedPresenter(window, compositor.Timing());
        ASSERT_NE(presenter, nullptr);
        presenter->Present(*SDL_GetWindowSurface(window), pixel);
        compositor.answering = false;
        // Nobody waits past the silence: the presenter fails and the frame is told at its call.
        EXPECT_TRUE(presenter->AwaitShown(200'000'000));
        EXPECT_TRUE(presenter->Failed());
        EXPECT_FALSE(presenter->Pending());
    }
    // Wine's DWM: a period and a refresh time made up from the clock, no counter moving.
    const auto wine = [](CompositionSample& sample) {
        sample = CompositionSample{};
        sample.takenNanos = MonotonicNanos();
        sample.periodNanos = PERIOD;
        sample.vblankNanos = sample.takenNanos / PERIOD * PERIOD;
        return true;
    };
    const auto pass = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    EXPECT_EQ(OpenCompositedPresenter(window, CompositorTiming{pass, wine}), nullptr);
}

}  // namespace
}  // namespace pelorin::sdl
