#pragma once

#include <string>

namespace pelorin::bench {

// Records the PulseAudio source until SIGTERM, then prints the tone row for the onsets written to
// tonesFile, one tone a line: "PATHS MICROS EXACT NAME.wav" (PATHS naming the column, EXACT 1 or 0).
// The onsets are on the raw monotonic clock (the Windows build's under Wine), or with `relative` on
// a clock of their own, which is then lined up with the recording (Linux only).
int RecordTonesBeside(const std::string& source, const std::string& tonesFile, bool relative);

}  // namespace pelorin::bench
