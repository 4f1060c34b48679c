#pragma once

#include <string>

namespace pelorin::bench {

// What a run of the benchmark is asked for.
struct Settings {
    bool quick = false;
    // The PulseAudio source that records what the program plays (a null sink's monitor); empty when
    // the sound goes elsewhere and tone onsets cannot be measured.
    std::string monitor;

    int BlockMillis() const;
    int Reps(int full, int few) const { return quick ? few : full; }
};

// The two ways a run draws and starts its tones: the program's, and the baseline (a full redraw of
// every frame, a tone started in the next buffer the device asks for) that its figures are set beside.
enum class Paths { Pelorin, Baseline };

// Measures one phase ("block": the idle dual block; "misc": waits, keys, letters and tones) with the
// real dual-task screen in this process, and writes its figures as "name value" lines on stdout.
int MeasurePhase(const std::string& phase, Paths paths, const Settings& settings);

}  // namespace pelorin::bench
