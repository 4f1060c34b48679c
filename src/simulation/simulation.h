#pragma once

#include <iosfwd>
#include <string>

#include "simulation/simulation_settings.h"

namespace pelorin {

// The display simulated subjects see, in pixels.
inline constexpr int SIMULATED_DISPLAY_WIDTH = 1024;
inline constexpr int SIMULATED_DISPLAY_HEIGHT = 768;

// What RunSimulation returns for a run folder it refuses: one that reaches the lab's records.
inline constexpr int SIMULATION_REFUSED = 2;

// Runs the settings' simulated subjects one after another through the whole experiment on the test
// host, in virtual time: each registers into the subject list of the run folder settings.out (made
// when absent; relative to dataFolder unless absolute) and writes its results there, reading
// instruction.txt and wave/ from dataFolder. Prints a line per subject to out; returns 0, or 1 after
// saying on err why a subject's run could not be completed (a message box, a run that stopped) or that
// rows wait to be added to a shared table of the dataset (one held open by another program), or
// SIMULATION_REFUSED, writing nothing, when settings.out would reach dataFolder's subject list or
// Res_Data (ReachesLabRecords).
int RunSimulation(const SimulationSettings& settings, const std::string& dataFolder, std::ostream& out,
                  std::ostream& err);

}  // namespace pelorin
