#include "hosts/sdl/damage.h"

#include <gtest/gtest.h>

namespace pelorin::sdl {
namespace {

bool Same(const std::vector<SDL_Rect>& a, const std::vector<SDL_Rect>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!SDL_RectEquals(&a[i], &b[i])) return false;
    }
    return true;
}

// What damage is redrawn for a change is checked pixel for pixel by the partial drawing test; this
// is the cut of one rectangle out of another, whose every side no change there reaches.
TEST(DamageTest, SubtractLeavesThePartsOutside) {
    EXPECT_TRUE(Same(Subtract({0, 0, 10, 10}, {0, 0, 10, 10}), {}));
    EXPECT_TRUE(Same(Subtract({0, 0, 10, 10}, {20, 20, 5, 5}), {{0, 0, 10, 10}}));
    // A hole in the middle: above, below, left and right of it.
    EXPECT_TRUE(Same(Subtract({0, 0, 10, 10}, {4, 4, 2, 2}),
                     {{0, 0, 10, 4}, {0, 6, 10, 4}, {0, 4, 4, 2}, {6, 4, 4, 2}}));
}

}  // namespace
}  // namespace pelorin::sdl
