// Pelorin: no command line, no configuration. Starts on the registration screen in the current
// folder and returns 0 when the run is ended by "Quit" or by Yes to the quit question.
#include <exception>

#include "flow/experiment.h"
#include "platform/runtime.h"
#include "platform/sdl/sdl_host.h"
#include "platform/warning.h"

int main() {
    try {
        pelorin::sdl::SdlHost host;
        pelorin::Experiment experiment(host);
        experiment.Run();
    } catch (const pelorin::ProgramEnded&) {
        return 0;
    } catch (const std::exception& error) {
        pelorin::ReportFailure(error.what());
        return 1;
    }
}
