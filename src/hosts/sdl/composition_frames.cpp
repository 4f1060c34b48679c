#include "hosts/sdl/composition_frames.h"

namespace pelorin::sdl {

namespace {

// Periods outside these (500 Hz, 10 Hz) are not a display's.
constexpr int64_t MIN_PERIOD_NANOS = 2'000'000;
constexpr int64_t MAX_PERIOD_NANOS = 100'000'000;
// A counter that moves further than this between two readings was reset, not advanced.
constexpr int64_t MAX_COUNTER_STEP = int64_t{1} << 40;

// How far counter `later` is past `earlier`, across a wrap; negative when it went back.
int64_t Since(uint64_t later, uint64_t earlier) { return static_cast<int64_t>(later - earlier); }

bool Advanced(uint64_t later, uint64_t earlier) {
    const int64_t step = Since(later, earlier);
    return step >= 0 && step < MAX_COUNTER_STEP;
}

// The refresh a frame handed over at `nanos` could first show at: the compositor composes it after
// the next refresh begins and shows it at the one after that.
uint64_t FirstPossibleRefresh(const CompositionSample& before, int64_t nanos) {
    const int64_t passed = nanos > before.vblankNanos ? (nanos - before.vblankNanos) / before.periodNanos : 0;
    return before.refresh + static_cast<uint64_t>(passed) + 2;
}

}  // namespace

bool CompositionFrames::Answers(const std::vector<CompositionSample>& samples) {
    if (samples.size() < 3) return false;
    CompositionFrames reader;
    for (const CompositionSample& sample : samples) {
        if (!reader.Sane(sample)) return false;
        reader.Add(sample);
    }
    const CompositionSample& first = samples.front();
    const CompositionSample& last = samples.back();
    const int64_t refreshes = Since(last.refresh, first.refresh);
    if (refreshes < 2 || Since(last.composed, first.composed) < 1 || Since(last.displayed, first.displayed) < 1) return false;
    // The refreshes' own times agree with the period reported, within a tenth.
    const int64_t measured = (last.vblankNanos - first.vblankNanos) / refreshes;
    return measured * 10 > first.periodNanos * 9 && measured * 10 < first.periodNanos * 11;
}

void CompositionFrames::Presented(uint64_t serial, int64_t calledNanos) {
    Frame frame;
    frame.serial = serial;
    frame.calledNanos = calledNanos;
    if (hasLast && last.takenNanos <= calledNanos) {
        frame.hasBefore = true;
        frame.before = last;
    }
    if (failed) Unstamped(frame);
    frames.push_back(frame);
}

bool CompositionFrames::Sane(const CompositionSample& sample) const {
    if (sample.periodNanos < MIN_PERIOD_NANOS || sample.periodNanos > MAX_PERIOD_NANOS) return false;
    // A refresh cannot have begun later than a period after the reading that tells of it.
    if (sample.vblankNanos <= 0 || sample.vblankNanos > sample.takenNanos + sample.periodNanos) return false;
    if (!hasLast) return true;
    return sample.takenNanos >= last.takenNanos && sample.vblankNanos >= last.vblankNanos &&
           sample.composedNanos >= last.composedNanos && sample.displayedNanos >= last.displayedNanos &&
           Advanced(sample.refresh, last.refresh) && Advanced(sample.composed, last.composed) &&
           Advanced(sample.displayed, last.displayed);
}

void CompositionFrames::Unstamped(Frame& frame) {
    frame.settled = true;
    frame.shown = ShownFrame{frame.serial, 0, 0, 0, false};
}

void CompositionFrames::Settle(Frame& frame, const CompositionSample& sample) {
    if (sample.takenNanos < frame.calledNanos) {
        frame.hasBefore = true;
        frame.before = sample;
        return;
    }
    if (!frame.hasComposition) {
        // The first reading after the call: its last composition was made before the call (the next
        // one carries the frame), or it is the one made since the reading before the call.
        if (sample.composedNanos < frame.calledNanos) {
            frame.composition = sample.composed + 1;
        } else if (frame.hasBefore && Since(sample.composed, frame.before.composed) == 1) {
            frame.composition = sample.composed;
        } else {
            return Unstamped(frame);
        }
        frame.hasComposition = true;
    }
    const int64_t shownSince = Since(sample.displayed, frame.composition);
    if (shownSince == 0 && sample.displayedNanos >= frame.calledNanos) {
        const uint64_t target = frame.hasBefore ? FirstPossibleRefresh(frame.before, frame.calledNanos) : 0;
        frame.settled = true;
        frame.shown = ShownFrame{frame.serial, sample.displayedRefresh, target, sample.displayedNanos, true};
    } else if (shownSince >= 0) {
        // The display went past the frame's composition between two readings, or says it showed it
        // before it was handed over: which refresh showed it first is not known.
        Unstamped(frame);
    } else if (sample.takenNanos - frame.calledNanos > WAIT_REFRESHES * sample.periodNanos) {
        Unstamped(frame);
    }
}

std::vector<ShownFrame> CompositionFrames::Add(const CompositionSample& sample) {
    if (!failed && !Sane(sample)) failed = true;
    if (!failed) {
        if (!hasFirst) {
            first = sample;
            hasFirst = true;
        }
        for (Frame& frame : frames) {
            if (!frame.settled) Settle(frame, sample);
        }
        last = sample;
        hasLast = true;
    }
    std::vector<ShownFrame> settled;
    while (!frames.empty() && (frames.front().settled || failed)) {
        Frame& frame = frames.front();
        if (!frame.settled) Unstamped(frame);
        if (frame.shown.stamped) {
            unansweredInARow = 0;
        } else if (++unansweredInARow >= UNANSWERED_IN_A_ROW) {
            failed = true;
        }
        settled.push_back(frame.shown);
        frames.pop_front();
    }
    return settled;
}

bool CompositionFrames::Composing() const {
    if (frames.empty()) return false;
    const Frame& newest = frames.back();
    if (newest.settled) return false;
    return !newest.hasComposition || Since(last.composed, newest.composition) < 0;
}

int64_t CompositionFrames::RefreshNanos() const {
    if (!hasFirst || !hasLast) return 0;
    const int64_t refreshes = Since(last.refresh, first.refresh);
    if (refreshes <= 0) return 0;
    return (last.vblankNanos - first.vblankNanos) / refreshes;
}

}  // namespace pelorin::sdl
