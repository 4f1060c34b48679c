#include <gtest/gtest.h>

#include <array>
#include <set>

#include "hosts/headless/headless_host.h"
#include "screens/my_random.h"
#include "ui/runtime.h"

namespace pelorin {
namespace {

class MyRandomTest : public ::testing::Test {
protected:
    HeadlessHost host{1024, 768, "/nonexistent"};
    Runtime runtime{host};
};

TEST_F(MyRandomTest, DrawsOneToThreeUniformlyWithRepeatsAsChanceGives) {
    MyRandom toneRan(runtime);
    toneRan.SetInterval(1, 3);
    constexpr int DRAWS = 30000;
    std::array<int, 4> counts{};
    int repeats = 0;
    int16_t previous = 0;
    // The virtual clock stands still: every draw re-seeds with the same tick.
    for (int i = 0; i < DRAWS; ++i) {
        int16_t drawn = toneRan.GetNextRanWR();
        ASSERT_GE(drawn, 1);
        ASSERT_LE(drawn, 3);
        ++counts[static_cast<size_t>(drawn)];
        if (drawn == previous) ++repeats;
        previous = drawn;
    }
    double expected = DRAWS / 3.0;
    double chiSquare = 0;
    for (int value = 1; value <= 3; ++value) {
        double difference = counts[static_cast<size_t>(value)] - expected;
        chiSquare += difference * difference / expected;
    }
    // 2 degrees of freedom: 13.8 is the 0.001 critical value.
    EXPECT_LT(chiSquare, 13.8);
    // A repeat follows a draw a third of the time.
    EXPECT_NEAR(repeats, DRAWS / 3.0, 600);
}

TEST_F(MyRandomTest, RangesAndInstances) {
    // No range yet: 0.
    MyRandom fresh(runtime);
    EXPECT_EQ(fresh.GetNextRanWR(), 0);

    MyRandom five(runtime);
    five.SetInterval(5, 5);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(five.GetNextRanWR(), 5);

    // Drawing from one instance leaves another's range alone.
    MyRandom letterRan(runtime);
    letterRan.SetInterval(1, 3);
    std::set<int16_t> seen;
    for (int i = 0; i < 100; ++i) {
        seen.insert(letterRan.GetNextRanWR());
        EXPECT_EQ(five.GetNextRanWR(), 5);
    }
    EXPECT_EQ(seen, (std::set<int16_t>{1, 2, 3}));

    // Empty ranges and ranges wider than 16 bits are refused up front.
    EXPECT_THROW(letterRan.SetInterval(3, 1), std::invalid_argument);
    EXPECT_THROW(letterRan.SetInterval(-20000, 20000), std::invalid_argument);
    letterRan.SetInterval(0, 32766);
    int16_t wide = letterRan.GetNextRanWR();
    EXPECT_TRUE(wide >= 0 && wide <= 32766) << wide;
}

}  // namespace
}  // namespace pelorin
