#pragma once

#include <string>

namespace pelorin::bench {

// Records the PulseAudio source until SIGTERM, then prints the tone row for the onsets the Windows
// build wrote to tonesFile (Linux only).
int RecordTonesBeside(const std::string& source, const std::string& tonesFile);

}  // namespace pelorin::bench
