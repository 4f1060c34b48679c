#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "hosts/sdl/sdl_host.h"

namespace pelorin {
class Blanke;
class Runtime;
class Tone_LetterTask;
}  // namespace pelorin

// The real host watched from inside, and the measurements the benchmark and the timing check both
// make with it on the real dual-task screen.
namespace pelorin::measure {

// Unwinds the block's ending out of its nested waits once the ending has been seen.
struct BlockOver {};

// The real host, watching the dual-task screen through what the host sees of it: the growth ticks as
// the timer's schedule moves on, letters as the label's caption changes, tones as they are played,
// keys as the screen takes them.
class MeasuringHost : public sdl::SdlHost {
public:
    explicit MeasuringHost(int displayNumber = 0) : SdlHost(displayNumber) {}

    void Watch(Tone_LetterTask& watched);
    // Stops looking at the screen: it may be gone or hidden.
    void Unwatch() { task = nullptr; }

    void Present() override;
    SoundOnset PlaySoundSync(const std::string& path) override;
    std::optional<InputEvent> PollInput() override;

    struct Tone {
        std::string path;
        int64_t called = 0;
        int64_t returned = 0;
        SoundOnset onset;
    };
    struct Letter {
        int64_t changed = 0;
        int64_t presented = 0;
        FrameStamp stamp = FrameStamp::PresentCall;
    };
    struct Key {
        int64_t handled = 0;  // when the screen was handed it
        int64_t stamped = 0;  // the time the host stamped on it, which the results record
    };

    bool stopAtEnd = false;
    int64_t endMicros = 0;
    int64_t drawMicros = 0;
    std::vector<double> tickLateness;
    // How long each present that showed a growth tick took, in ms.
    std::vector<double> tickPresents;
    // From each such present's call to the frame's onset (the refresh that showed it, where the
    // display stamps it), in ms, and how that onset was taken.
    std::vector<double> tickOnsets;
    FrameStamp onsetStamp = FrameStamp::PresentCall;
    std::vector<Key> keysHandled;
    std::vector<Tone> tones;
    std::vector<Letter> letters;
    std::atomic<int> tonesPlayed = 0;
    std::atomic<char> answerKey = 0;
    // Set while a synchronous sound plays, for a typist that types during tones.
    std::atomic<bool> playing = false;

private:
    // True when a growth tick is shown by this frame.
    bool Look(int64_t now);

    Tone_LetterTask* task = nullptr;
    int64_t lastDue = NO_DEADLINE;
    std::string lastCaption;
};

// An idle block of the dual task, from its start to its time-up ending.
struct BlockFigures {
    std::vector<double> tickLateness;  // ms from each tick's due time to the frame showing it
    std::vector<double> tickPresents;  // ms each of those frames' present took
    std::vector<double> tickOnsets;    // ms from each of those presents' call to its frame's onset
    FrameStamp onsetStamp = FrameStamp::PresentCall;
    // Frames shown at the refresh over the block, those shown a refresh or more after the one they
    // were aimed at, and the refresh period from the display's stamps (0: none).
    double framesShown = 0, framesMissed = 0;
    double refreshMs = 0;
    double ticksFired = 0, ticksDue = 0;
    double blockError = 0;  // ms from the block's due end to its ending
    double cpuProcess = 0, cpuThread = 0;  // % of a core over the block
    double peakMemory = 0;  // MB
    double drawPerTick = 0;  // ms of drawing and presenting per growth tick
};

// Runs the dual task's block, which must just have been started, for blockMillis (its own length
// when that is the block's), the bars starting again from a third of the screen where they would
// overflow, until its ending shows.
BlockFigures MeasureIdleBlock(MeasuringHost& host, Runtime& runtime, Tone_LetterTask& task, int blockMillis);

// The overshoot, in ms, of reps waits of `millis` through the waits' screen.
std::vector<double> WaitOvershoots(MeasuringHost& host, Blanke& blanke, int millis, int reps);

// Keys typed at random 20 to 60 ms gaps; the times of sending, in order.
class KeyStream {
public:
    KeyStream(int count, unsigned seed) : count(count), random(seed) {}

    template <class Send>
    void Run(const std::function<int64_t()>& now, Send send) {
        std::uniform_int_distribution<int> gap(20, 60);
        std::uniform_int_distribution<int> letter(0, 2);
        for (int i = 0; i < count; ++i) {
            SleepMillis(gap(random));
            {
                std::lock_guard lock(mutex);
                sent.push_back(now());
            }
            send("bnm"[letter(random)]);
        }
    }

    std::vector<int64_t> Sent();

private:
    static void SleepMillis(int millis);

    int count;
    std::mt19937 random;
    std::mutex mutex;
    std::vector<int64_t> sent;
};

// Keys from their sending to the screen taking them, and to the time stamped on them, in ms.
struct KeyFigures {
    std::vector<double> toHandler;
    std::vector<double> toStamp;
    double lost = 0;
};

// Letter answers typed from another thread while the event loop runs, `count` of them at random
// 20 to 60 ms gaps through `send`; gives up a second after the last one went.
KeyFigures MeasureKeys(MeasuringHost& host, Runtime& runtime, int count, const std::function<void(char)>& send);

}  // namespace pelorin::measure
