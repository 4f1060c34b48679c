#include "audio/sound_mixer.h"

#include <algorithm>
#include <climits>

namespace pelorin::sdl {

namespace {

// Adds a playing voice's next samples to the block that starts at the stream's frame blockStart;
// true if it handed out its last sample just now.
bool MixVoice(Voice& voice, int16_t* out, size_t count, uint64_t blockStart) {
    if (!voice.playing) {
        return false;
    }
    size_t skip = 0;
    if (voice.position == 0 && voice.startFrame > blockStart) {
        const uint64_t framesAhead = voice.startFrame - blockStart;
        if (framesAhead * OUTPUT_CHANNELS >= count) {
            return false;
        }
        skip = static_cast<size_t>(framesAhead) * OUTPUT_CHANNELS;
    }
    const std::vector<int16_t>& samples = voice.sound->samples;
    const size_t n = std::min(count - skip, samples.size() - voice.position);
    for (size_t i = 0; i < n; ++i) {
        const int sum = out[skip + i] + samples[voice.position + i];
        out[skip + i] = static_cast<int16_t>(std::clamp(sum, INT16_MIN, INT16_MAX));
    }
    voice.position += n;
    if (voice.position < samples.size()) {
        return false;
    }
    voice.playing = false;
    return true;
}

}  // namespace

bool Mixer::MixNext(int16_t* out, size_t samples) {
    std::fill(out, out + samples, int16_t{0});
    const uint64_t blockStart = framesMixed;
    for (auto& player : players) {
        MixVoice(player.second, out, samples, blockStart);
    }
    const bool finished = MixVoice(syncVoice, out, samples, blockStart);
    if (finished) syncFinished = true;
    framesMixed += samples / OUTPUT_CHANNELS;
    return finished;
}

}  // namespace pelorin::sdl
