#pragma once

#include <iosfwd>
#include <string>

namespace pelorin {

// The demo instruction text, as demo/instruction.txt holds it.
extern const char* const DEMO_INSTRUCTION;

// Makes folder a run folder for the demo: instruction.txt and wave/ with the tones and the error
// sound. A file that is there already is kept as it is (it may be the lab's own) and named as kept.
// Says on out each file written or kept and on err what failed; true when every file is in place.
bool WriteDemoFolder(const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace pelorin
