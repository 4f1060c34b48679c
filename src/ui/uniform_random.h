#pragma once

#include <cstdint>

namespace pelorin {

// A uniform generator whose state a tick value can be mixed into. Mixing depends on the state as well
// as on the tick, so re-seeding twice with the same tick never makes two draws equal by construction.
class UniformRandom {
public:
    void Reseed(uint32_t tick);
    // Uniform in [0, 1), single precision.
    float Next();

private:
    uint64_t state = 0x853c49e6748fea9bULL;
};

}  // namespace pelorin
