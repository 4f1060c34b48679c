#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/output_timeline.h"
#include "audio/sound_mixer.h"

namespace pelorin::sdl {

// A playback stream through the system's own sound interface (PulseAudio on Linux), fed from the
// mixer by the interface's own thread whenever it asks for frames, and able to say when a frame of
// it reached the output. SDL's sound output cannot: it hides the sound server's and the device's
// latency, and when the device ran dry.
class SystemOutput {
public:
    virtual ~SystemOutput() = default;

    // The sound system and the device it plays to.
    virtual std::string Driver() const = 0;
    virtual std::string DeviceName() const = 0;
    // Frames the output is fed at a time (PulseAudio), or keeps fed ahead (WASAPI).
    virtual int BufferFrames() const = 0;
    // Whether its timing can make an onset exact; Wine's WASAPI position cannot.
    virtual bool ReadsBackExactly() const { return true; }
    // From a call to the first frame of a sound it starts: the frames already handed over, and a margin.
    virtual int64_t FixedLatencyNanos() const = 0;

    // Asks the system for fresh timing; the answer comes on the system's thread. Returns the number
    // that Answered compares with.
    virtual uint64_t AskTiming() = 0;
    // Whether the system has answered the asking numbered `asked` (or a later one).
    virtual bool Answered(uint64_t asked) = 0;
    // A copy of the stream's timeline as it stands.
    virtual OutputTimeline Timeline() = 0;
};

// Connects to the system's sound interface and starts a stream fed from `mixer`; null, without a
// word, where no sound server answers.
std::unique_ptr<SystemOutput> OpenSystemOutput(Mixer& mixer);

}  // namespace pelorin::sdl
