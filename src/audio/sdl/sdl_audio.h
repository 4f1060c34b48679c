#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/host.h"

namespace pelorin::sdl {

// Where the last synchronous play put its sound, in nanoseconds on the monotonic clock.
struct PlayedSound {
    int64_t onsetNanos = 0;     // when its first sample reached the output; the call's time if silent
    int64_t durationNanos = 0;  // 0 when the file could not be played
    bool audible = false;
    // True when the onset was read back from the output's timing after the sound played; false when
    // it is the plan made from the output's pace before (SDL's output cannot say more).
    bool exact = false;
};

// Where a synchronous play's first sample goes. The program always places it; the benchmark sets the
// next buffer beside it to show what placing gains.
enum class StartMode { SamplePlaced, NextBuffer };

// The one sound output of the run, with the sounds it has loaded. Sounds play through the system's own
// sound interface where a sound server answers (PulseAudio on Linux), which says when each sample
// reached the output, and through SDL's output otherwise, or where SDL_AUDIODRIVER names another SDL
// driver. Every sound is converted once to the output's format and mixed on the output's thread, so
// the error sound of the wave player and a tone can overlap. A synchronous play's first sample is
// placed, to the sample, a fixed latency after the call (said once on standard output at start-up);
// the call returns when the sound's last sample has been played, and its onset is then read back from
// the output's timing. If no output opens, the run goes on silent and synchronous plays keep their
// durations. All members are called from the program's one thread.
class Audio {
public:
    // Opens the output without waiting for it to play; says once on stderr if none opens.
    Audio();
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    bool Silent() const;

    // Plays a wave file to its end before returning. A missing, unreadable, garbage or empty file
    // returns at once and plays nothing; silent mode waits the file's duration instead. Every wait
    // of the calling thread is a call of waitUntil (a time on MonotonicNanos' clock), made holding no
    // lock; it may return early, and is called again until the time has come.
    void PlaySync(const std::string& path, const std::function<void(int64_t untilNanos)>& waitUntil);
    // Until the output plays its stream, for up to 3 s after it opened; PlaySync waits for this itself.
    // Through waitUntil, as PlaySync's waits.
    void WaitUntilPlaying(const std::function<void(int64_t untilNanos)>& waitUntil);
    // The onset and length of the sound the last PlaySync played.
    PlayedSound LastPlayed() const;
    // From a synchronous play's call to its first sample at the output; 0 when silent.
    int64_t FixedLatencyNanos() const;
    // Plays through SDL's output from now on, each synchronous sound started in the next buffer the
    // device asks for and given the onset planned for it: for the benchmark, which sets it beside
    // the program's own output. Sounds opened for the wave player before are closed.
    void UseSdlOutputFromNextBuffer();
    // The output as it was opened, or silent.
    AudioOutput Describe() const;

    // The wave player. Open gives a handle (>= 0), or -1 if the file cannot be loaded. Rewind stops
    // the sound and puts it back to its start; Play goes on from where it is and returns at once;
    // Close stops and frees it. Unknown handles are ignored.
    int Open(const std::string& path);
    void Rewind(int handle);
    void Play(int handle);
    void Close(int handle);
    void CloseAll();

private:
    class Device;
    std::unique_ptr<Device> device;
};

}  // namespace pelorin::sdl
