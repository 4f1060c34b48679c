#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace pelorin::sdl {

// The output stream's one format: every sound is converted to it once, when loaded.
constexpr int OUTPUT_RATE = 44100;
constexpr int OUTPUT_CHANNELS = 2;

// A wave file converted to the output's format.
struct Sound {
    std::chrono::microseconds duration{0};
    // Interleaved 16-bit samples; empty if the output cannot take the file's format.
    std::vector<int16_t> samples;
};

struct Voice {
    std::shared_ptr<const Sound> sound;
    size_t position = 0;
    bool playing = false;
    // The stream's frame its first sample goes out in; a frame already passed means at once.
    uint64_t startFrame = 0;
};

// The sounds of the one output stream: the wave player's and the synchronous one, mixed into each
// block of frames the output takes. The output's thread mixes; the program's thread starts and
// stops sounds; both under `mutex`.
struct Mixer {
    // Mixes the stream's next frames into `out` (`samples` interleaved samples, zeroed first) and
    // counts them; true if the synchronous sound handed out its last sample just now. With `mutex` held.
    bool MixNext(int16_t* out, size_t samples);

    std::mutex mutex;
    std::map<int, Voice> players;
    int nextHandle = 0;
    Voice syncVoice;
    bool syncFinished = false;
    // Frames of the stream handed to the output so far.
    uint64_t framesMixed = 0;
};

}  // namespace pelorin::sdl
