// Pelorin: started without arguments, the experiment on the registration screen in the current
// folder; it returns 0 when the run is ended by "Quit" or by Yes to the quit question.
// `pelorin --check` runs the timing check instead and writes its report into the current folder.
#include <cstdio>
#include <cstring>
#include <exception>

#include "check/timing_check.h"
#include "flow/experiment.h"
#include "platform/runtime.h"
#include "platform/sdl/sdl_host.h"
#include "platform/warning.h"

int main(int argc, char** argv) {
    // NOTE: a minimal switch until the command line's parser lands; the parser calls the same function.
    if (argc == 2 && std::strcmp(argv[1], "--check") == 0) return pelorin::check::RunTimingCheck({});
    if (argc > 1) {
        std::fprintf(stderr, "usage: pelorin [--check]\n");
        return 2;
    }
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
