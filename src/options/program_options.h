#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "simulation/simulation_settings.h"

namespace pelorin {

// What the command line asks for. Without options the program runs the experiment as it always has.
struct ProgramOptions {
    enum class Mode {
        Experiment,  // the experiment, writing the subject list and Res_Data of the current folder
        Pilot,       // the experiment marked as a pilot, writing only under Pilot_Data
        Simulate,    // simulated subjects on the test host, writing only under their own folder
        Check,       // the timing check in the real window, writing only its report
        Exit,        // the command line is answered (help, version) or refused: exit with exitCode
    };
    Mode mode = Mode::Experiment;
    int exitCode = 0;
    SimulationSettings simulation;
    // The check's sound check by cable: the output wired to an input, recorded (the default input
    // unless one is named).
    bool loopback = false;
    std::string loopbackInput;
};

// The exit code of a refused command line.
inline constexpr int USAGE_ERROR = 2;

// Reads the program's arguments (without the program's name), in UTF-8. Help and the version go to
// out; a refusal goes to err as its reason followed by the usage.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace pelorin
