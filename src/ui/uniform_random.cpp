#include "ui/uniform_random.h"

namespace pelorin {

namespace {

constexpr uint64_t GOLDEN_GAMMA = 0x9e3779b97f4a7c15ULL;

// splitmix64's finaliser: every input bit affects every output bit.
uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

}  // namespace

void UniformRandom::Reseed(uint32_t tick) {
    state = Mix(state ^ (static_cast<uint64_t>(tick) * GOLDEN_GAMMA));
}

float UniformRandom::Next() {
    state += GOLDEN_GAMMA;
    // The top 24 bits fill a float's mantissa exactly, so the result is below 1.
    return static_cast<float>(Mix(state) >> 40) * (1.0f / 16777216.0f);
}

}  // namespace pelorin
