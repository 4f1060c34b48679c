// The Windows presenter's own thread, on SDL's dummy display, with a compositor made up here on the
// program's clock (Wine's DWM counts nothing): frames told the refresh that showed them, the next sent
// while one waits, a compositor that falls silent, and one that never counted.
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
constexpr uint64_t BASE = 5000;

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
        if (!answering) return false;
        const int64_t now = MonotonicNanos();
        const int64_t refresh = RefreshAt(now);
        const int64_t composed = ComposedAt(now);
        sample.takenNanos = now;
        sample.periodNanos = PERIOD;
        sample.refresh = BASE + static_cast<uint64_t>(refresh);
        sample.vblankNanos = RefreshNanos(refresh);
        sample.composed = BASE + static_cast<uint64_t>(composed);
        sample.composedNanos = RefreshNanos(composed) + COMPOSED_AFTER;
        sample.displayed = BASE + static_cast<uint64_t>(refresh - 1);
        sample.displayedRefresh = BASE + static_cast<uint64_t>(refresh);
        sample.displayedNanos = RefreshNanos(refresh);
        return true;
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

TEST_F(CompositedPresenter, FramesAreToldTheRefreshThatShowedThem) {
    MadeUpCompositor compositor;
    std::unique_ptr<RefreshPresenter> presenter = OpenCompositedPresenter(window, compositor.Timing());
    ASSERT_NE(presenter, nullptr);
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    int stamped = 0;
    for (int frame = 0; frame < 8; ++frame) {
        const int64_t before = MonotonicNanos();
        const uint64_t serial = presenter->Present(*surface, pixel);
        const int64_t after = MonotonicNanos();
        ASSERT_TRUE(presenter->AwaitShown(200'000'000));
        std::vector<ShownFrame> shown = presenter->TakeShown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].serial, serial);
        // A thread woken late may see two compositions at once: that frame keeps its call's time.
        if (!shown[0].stamped) continue;
        ++stamped;
        // Shown at a refresh, never before the call, at the second refresh after it at the latest.
        EXPECT_EQ(compositor.RefreshNanos(static_cast<int64_t>(shown[0].msc - BASE)), shown[0].ustNanos);
        EXPECT_GT(shown[0].ustNanos, before);
        EXPECT_LE(compositor.RefreshAt(shown[0].ustNanos), compositor.RefreshAt(after) + 2);
        EXPECT_LE(shown[0].msc, shown[0].targetMsc);
    }
    EXPECT_GE(stamped, 6);
    EXPECT_FALSE(presenter->Failed());
    EXPECT_NEAR(static_cast<double>(presenter->RefreshNanos()), static_cast<double>(PERIOD), 1000.0);
}

TEST_F(CompositedPresenter, TheNextFrameGoesOutOnceACompositionTookTheOneBefore) {
    MadeUpCompositor compositor;
    std::unique_ptr<RefreshPresenter> presenter = OpenCompositedPresenter(window, compositor.Timing());
    ASSERT_NE(presenter, nullptr);
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    const uint64_t first = presenter->Present(*surface, pixel);
    EXPECT_TRUE(presenter->Pending());
    const int64_t deadline = MonotonicNanos() + 200'000'000;
    while (presenter->Pending() && MonotonicNanos() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(presenter->Pending());
    const uint64_t second = presenter->Present(*surface, pixel);
    ASSERT_TRUE(presenter->AwaitShown(200'000'000));
    std::vector<ShownFrame> shown = presenter->TakeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].serial, first);
    EXPECT_EQ(shown[1].serial, second);
    if (shown[0].stamped && shown[1].stamped) {
        EXPECT_GT(shown[1].msc, shown[0].msc);
    }
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
    EXPECT_EQ(OpenCompositedPresenter(window, CompositorTiming{pass, [](CompositionSample&) { return false; }}), nullptr);
}

}  // namespace
}  // namespace pelorin::sdl
