#pragma once

#include <cstdint>

namespace pelorin {

class Runtime;

// Whole numbers drawn uniformly from an inclusive range, with replacement. Every instance draws from
// the program's one generator, re-seeded from the tick counter before each draw.
class MyRandom {
public:
    explicit MyRandom(Runtime& runtime) : runtime(runtime) {}

    // Throws std::invalid_argument for an empty range or one wider than 16 bits.
    void SetInterval(int16_t l, int16_t u);
    int16_t GetNextRanWR();

private:
    int16_t RandomBetween(int16_t lo, int16_t hi);

    Runtime& runtime;
    int16_t lower = 0;
    int16_t upper = 0;
};

}  // namespace pelorin
