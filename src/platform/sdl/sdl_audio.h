#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/host.h"

namespace pelorin::sdl {

// The one audio device of the run, with the sounds it has loaded. Every sound is converted once to the
// device's format and mixed in the device's callback, so the error sound of the wave player and a
// tone can overlap. If no device opens, the run goes on silent and synchronous plays keep their
// durations. All members are called from the program's one thread.
class Audio {
public:
    // Initialises SDL's audio subsystem and opens the device; says once on stderr if it cannot.
    Audio();
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    bool Silent() const;

    // What a synchronous play played: its length (0 for a file that cannot be played) and whether it
    // reached the device.
    struct Played {
        int64_t durationMicros = 0;
        bool audible = false;
    };
    // Plays a wave file to its end before returning. A missing, unreadable, garbage or empty file
    // returns at once and plays nothing; silent mode waits the file's duration instead.
    Played PlaySync(const std::string& path);
    // The device as it was opened, or silent.
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
