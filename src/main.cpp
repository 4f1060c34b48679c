// Pelorin. Started without options: the experiment on the registration screen in the current folder,
// returning 0 when the run is ended by "Quit" or by Yes to the quit question. The options (--help)
// rehearse it as a marked pilot, run simulated subjects or check the PC's timing; none touches the
// subject list or Res_Data.
#include <exception>
#include <iostream>

#include "check/timing_check.h"
#include "flow/experiment.h"
#include "options/program_options.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/runtime.h"
#include "platform/sdl/sdl_host.h"
#include "platform/warning.h"
#include "simulation/simulation.h"

namespace {

// The pilot's run folder, inside the current one.
constexpr const char* PILOT_FOLDER = "Pilot_Data";

int RunExperiment(bool pilot) {
    try {
        std::string pilotFolder;
        if (pilot) {
            // Made before the window opens: a pilot that could not keep its records apart does not start.
            pilotFolder = pelorin::JoinPath(pelorin::CurrentFolder(), PILOT_FOLDER);
            if (auto error = pelorin::MakeFolder(pilotFolder)) {
                pelorin::ReportFailure("cannot make the folder " + pilotFolder + ": " + *error);
                return 1;
            }
        }
        pelorin::sdl::SdlHost host;
        if (pilot) host.SetMark("PILOT");
        pelorin::Experiment experiment(host);
        if (pilot) {
            experiment.dataset.kind = pelorin::DatasetKind::Pilot;
            experiment.recordsFolder = pilotFolder;
        }
        experiment.Run();
    } catch (const pelorin::ProgramEnded&) {
        return 0;
    } catch (const std::exception& error) {
        pelorin::ReportFailure(error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    using Mode = pelorin::ProgramOptions::Mode;
    std::vector<std::string> arguments = pelorin::ProgramArguments(argc, argv);
    if (!arguments.empty()) pelorin::UseStartingConsole();
    pelorin::ProgramOptions options = pelorin::ParseProgramOptions(arguments, std::cout, std::cerr);
    switch (options.mode) {
    case Mode::Exit:
        return options.exitCode;
    case Mode::Simulate:
        try {
            return pelorin::RunSimulation(options.simulation, pelorin::CurrentFolder(), std::cout, std::cerr);
        } catch (const std::exception& error) {
            std::cerr << "pelorin: " << error.what() << '\n';
            return 1;
        }
    case Mode::Pilot:
        return RunExperiment(true);
    case Mode::Check:
        return pelorin::check::RunTimingCheck({{}, options.loopback, options.loopbackInput});
    case Mode::Experiment:
        break;
    }
    return RunExperiment(false);
}
