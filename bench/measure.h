#pragma once

#include <string>

namespace pelorin::bench {

// What a run of the benchmark is asked for.
struct Settings {
    bool quick = false;
    // The PulseAudio source that records what the program plays (a null sink's monitor); empty when
    // the sound goes elsewhere and tone onsets cannot be measured.
    std::string monitor;
    // Where the Windows build writes its tones' onsets for a recorder beside it (PELORIN_BENCH_TONES);
    // empty where it records them itself or not at all. `paths` names the way of running measured.
    std::string tonesFile;
    std::string paths;

    int BlockMillis() const;
    int Reps(int full, int few) const { return quick ? few : full; }
};

// The two ways a run draws and plays its tones: the program's (only what changed drawn; tones through
// the system's sound output, placed to the sample and their onsets read back), and the baseline (every
// frame drawn whole; tones through SDL's output, each started in the next buffer the device asks
// for, with its planned onset), kept for comparison only.
enum class Paths { ChangedPartsSystemSound, WholeFramesSdlSound };

// Measures one phase ("block": the idle dual block; "misc": waits, keys, letters and tones) with the
// real dual-task screen in this process, and writes its figures as "name value" lines on stdout.
int MeasurePhase(const std::string& phase, Paths paths, const Settings& settings);

}  // namespace pelorin::bench
