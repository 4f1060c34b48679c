#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "hosts/sdl/refresh_presenter.h"

namespace pelorin::sdl {

// One reading of a compositor's timing (on Windows, DWM's composition timing), its times on the
// monotonic clock. The counters are the compositor's own; they only ever grow (and may wrap).
struct CompositionSample {
    int64_t takenNanos = 0;         // when it was read
    int64_t periodNanos = 0;        // the refresh period the compositor reports
    uint64_t refresh = 0;           // the count of the last refresh begun
    int64_t vblankNanos = 0;        // and when it began
    uint64_t composed = 0;          // the number of the last composition made
    int64_t composedNanos = 0;      // and when it was made
    uint64_t displayed = 0;         // the last composition that reached the display
    uint64_t displayedRefresh = 0;  // the refresh at which it began to show
    int64_t displayedNanos = 0;     // and when
};

// Finds, from a compositor's readings, the refresh at which each frame handed to it began to show.
// A window's pixels go into every composition made after they were handed over: a frame's
// composition is the first one made after its call, and it shows at the refresh at which that
// composition reached the display. Where the readings cannot say which composition or which refresh
// that was (compositions made between two readings, one that never reached the display on its own),
// the frame is settled without a stamp, never with a guess. Readings that go back, or frames that
// settle without a stamp several times running, mean the compositor stopped answering: Failed().
class CompositionFrames {
public:
    // A frame is settled without a stamp when no reading has shown it this many refreshes after its
    // call: the compositor shows a frame at the second refresh after it, the third when it is late.
    static constexpr int64_t WAIT_REFRESHES = 6;
    // Frames settled without a stamp in a row before the compositor is taken to have stopped answering.
    static constexpr int UNANSWERED_IN_A_ROW = 3;

    // Whether readings taken a refresh or more apart, with the window presented between them, come
    // from a compositor that counts its refreshes, compositions and frames shown, at a sane period.
    static bool Answers(const std::vector<CompositionSample>& samples);

    // A frame handed to the compositor when the call returned, at calledNanos.
    void Presented(uint64_t serial, int64_t calledNanos);
    // A reading; the frames it settles, in the order they were presented. Settled without a stamp
    // (stamped false) all at once when the reading is not sane.
    std::vector<ShownFrame> Add(const CompositionSample& sample);
    // Frames presented and not settled yet.
    bool Pending() const { return !frames.empty(); }
    // The newest frame presented is not in a composition made yet: the next one presented now might
    // go into the same composition. Once it is, the next can go out while this one waits to be shown.
    bool Composing() const;
    bool Failed() const { return failed; }
    // The refresh period measured across the refreshes read; 0 before two.
    int64_t RefreshNanos() const;

private:
    struct Frame {
        uint64_t serial = 0;
        int64_t calledNanos = 0;
        // The last reading taken before the call, when there was one.
        bool hasBefore = false;
        CompositionSample before;
        bool hasComposition = false;
        uint64_t composition = 0;
        bool settled = false;
        ShownFrame shown;
    };

    bool Sane(const CompositionSample& sample) const;
    void Settle(Frame& frame, const CompositionSample& sample);
    static void Unstamped(Frame& frame);

    std::deque<Frame> frames;
    bool hasLast = false;
    CompositionSample last;
    bool hasFirst = false;
    CompositionSample first;
    int unansweredInARow = 0;
    bool failed = false;
};

}  // namespace pelorin::sdl
