#include "platform/sdl/damage.h"

#include <gtest/gtest.h>

namespace pelorin::sdl {
namespace {

const SDL_Rect WINDOW{0, 0, 1000, 800};
const int BAR = 1;
const int LETTER = 2;
const int BUTTON = 3;

DrawnItem Fill(const int& key, SDL_Rect rect, uint32_t color) {
    return {&key, (uint64_t{color} << 32) ^ uint64_t(rect.x * 7 + rect.y * 13 + rect.w * 17 + rect.h * 19), rect, true, color};
}

DrawnItem Drawn(const int& key, uint64_t digest, SDL_Rect extent) { return {&key, digest, extent, false, 0}; }

bool Same(const std::vector<SDL_Rect>& a, const std::vector<SDL_Rect>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!SDL_RectEquals(&a[i], &b[i])) return false;
    }
    return true;
}

TEST(DamageTest, ABarThatGrowsRedrawsOnlyTheRowsItGained) {
    std::vector<DrawnItem> before{Fill(BAR, {100, 500, 80, 300}, 0xFF0000)};
    // Grown by two pixels upwards.
    EXPECT_TRUE(Same(Damage(before, {Fill(BAR, {100, 498, 80, 302}, 0xFF0000)}, WINDOW), {{100, 498, 80, 2}}));
    // Lowered by an answer: the rows it left.
    EXPECT_TRUE(Same(Damage(before, {Fill(BAR, {100, 532, 80, 268}, 0xFF0000)}, WINDOW), {{100, 500, 80, 32}}));
    // Another colour at the same place: all of it.
    EXPECT_TRUE(Same(Damage(before, {Fill(BAR, {100, 500, 80, 300}, 0x0000C0)}, WINDOW), {{100, 500, 80, 300}}));
    // Unchanged: nothing.
    EXPECT_TRUE(Damage(before, before, WINDOW).empty());
}

TEST(DamageTest, ChangedItemsRedrawTheirOldAndNewPlaces) {
    std::vector<DrawnItem> before{Drawn(LETTER, 1, {480, 380, 40, 60}), Drawn(BUTTON, 5, {10, 10, 100, 30})};
    // A wider letter: old and new places overlap and merge.
    EXPECT_TRUE(Same(Damage(before, {Drawn(LETTER, 2, {470, 380, 60, 60}), Drawn(BUTTON, 5, {10, 10, 100, 30})}, WINDOW),
                     {{470, 380, 60, 60}}));
    // The button hidden, a new item shown; what lies beyond the window is dropped.
    const int other = 0;
    std::vector<DrawnItem> now{Drawn(LETTER, 1, {480, 380, 40, 60}), Drawn(other, 9, {900, 700, 200, 200})};
    EXPECT_TRUE(Same(Damage(before, now, WINDOW), {{900, 700, 100, 100}, {10, 10, 100, 30}}));
    // Items that changed their stacking, or changes over most of the window: the whole window.
    std::vector<DrawnItem> swapped{before[1], before[0]};
    EXPECT_TRUE(Same(Damage(before, swapped, WINDOW), {WINDOW}));
    EXPECT_TRUE(Same(Damage(before, {Drawn(LETTER, 3, {0, 0, 1000, 500})}, WINDOW), {WINDOW}));
}

TEST(DamageTest, SubtractLeavesThePartsOutside) {
    EXPECT_TRUE(Same(Subtract({0, 0, 10, 10}, {0, 0, 10, 10}), {}));
    EXPECT_TRUE(Same(Subtract({0, 0, 10, 10}, {20, 20, 5, 5}), {{0, 0, 10, 10}}));
    // A hole in the middle: above, below, left and right of it.
    EXPECT_TRUE(Same(Subtract({0, 0, 10, 10}, {4, 4, 2, 2}),
                     {{0, 0, 10, 4}, {0, 6, 10, 4}, {0, 4, 4, 2}, {6, 4, 4, 2}}));
}

}  // namespace
}  // namespace pelorin::sdl
