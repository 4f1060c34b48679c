#include "screens/my_random.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "ui/runtime.h"

namespace pelorin {

void MyRandom::SetInterval(int16_t l, int16_t u) {
    int width = int{u} - int{l} + 1;
    // A width outside 1..32767 cannot be drawn from in 16-bit arithmetic.
    if (width < 1 || width > INT16_MAX) {
        throw std::invalid_argument("MyRandom: the range " + std::to_string(l) + " to " + std::to_string(u) +
                                    " is empty or wider than 16 bits");
    }
    lower = l;
    upper = u;
}

int16_t MyRandom::GetNextRanWR() { return RandomBetween(lower, upper); }

int16_t MyRandom::RandomBetween(int16_t lo, int16_t hi) {
    runtime.Random().Reseed(runtime.GetTickCount());
    int n = int{hi} - int{lo} + 1;
    float r = runtime.Random().Next();
    return static_cast<int16_t>(std::floor(static_cast<double>(r) * n) + lo);
}

}  // namespace pelorin
