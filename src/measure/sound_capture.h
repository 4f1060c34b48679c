#pragma once

#include <functional>
#include <memory>
#include <string>

#include "measure/loopback.h"

namespace pelorin::measure {

// Records a sound input (a line-in wired to the output, or a sink's monitor) at 44.1 kHz on a thread
// of its own, noting when each block arrived on the program's clock, from Start until Stop. One file
// per system: linux/sound_capture_pulse.cpp (PulseAudio, which PipeWire serves too),
// win32/sound_capture_wasapi.cpp (WASAPI capture).
class SoundCapture {
public:
    virtual ~SoundCapture() = default;
    // The sound system and the input, for the report: "pulseaudio: alsa_input.pci-0000_00_1f.3.analog-stereo".
    virtual std::string Describe() const = 0;
    // Starts recording; false with the reason in error when the input cannot be recorded.
    virtual bool Start(std::string& error) = 0;
    // Stops recording and hands over what was recorded.
    virtual Recording Stop() = 0;
};

// The input named (a PulseAudio source; a Windows recording device's name, or part of it), or the
// system's default input where name is empty. Arrivals are stamped with nowMicros, the program's
// clock, which runs at the pace of the system's monotonic one.
std::unique_ptr<SoundCapture> MakeSoundCapture(const std::string& name, std::function<int64_t()> nowMicros);

}  // namespace pelorin::measure
