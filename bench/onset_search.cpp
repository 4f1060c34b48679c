// Finding where sounds begin in a recording: no sound server needed, so every system's build has it.
#include <cstdlib>

#include "tone_onsets.h"

namespace pelorin::bench {

std::vector<size_t> FindRises(const std::vector<int16_t>& recording, int threshold, size_t minGap) {
    std::vector<size_t> rises;
    size_t quiet = minGap;
    for (size_t i = 0; i < recording.size(); ++i) {
        if (std::abs(int{recording[i]}) < threshold) {
            ++quiet;
            continue;
        }
        if (quiet >= minGap) rises.push_back(i);
        quiet = 0;
    }
    return rises;
}

size_t FirstAbove(const std::vector<int16_t>& samples, int threshold) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int{samples[i]}) >= threshold) return i;
    }
    return samples.size();
}

}  // namespace pelorin::bench
