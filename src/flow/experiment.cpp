#include "flow/experiment.h"

#include "transitions/blanke.h"

namespace pelorin {

Experiment::Experiment(Host& host) : runtime(host) {
    // The window system's close button asks the quit question, as Esc does.
    runtime.SetCloseHandler([this] { Blanke().Unload(); });
}

Experiment::~Experiment() = default;

Blanke& Experiment::Blanke() { return Use(blanke, runtime); }

}  // namespace pelorin
