#pragma once

#include <memory>

#include "flow/template_variables.h"
#include "layout/layout.h"
#include "platform/runtime.h"

namespace pelorin {

class Blanke;

// One run of the experiment: its state and one instance of each screen, created and loaded the first
// time it is used.
class Experiment {
public:
    explicit Experiment(Host& host);
    ~Experiment();
    Experiment(const Experiment&) = delete;
    Experiment& operator=(const Experiment&) = delete;

    Runtime runtime;
    TemplateVariables templateVariables;
    Procedures1 procedures1;

    pelorin::Blanke& Blanke();

private:
    // Creates the screen on first use and loads it; a screen its own load reaches is not loaded twice.
    template <class T, class... Args>
    T& Use(std::unique_ptr<T>& slot, Args&... args) {
        if (!slot) slot = std::make_unique<T>(args...);
        slot->Load();
        return *slot;
    }

    std::unique_ptr<pelorin::Blanke> blanke;
};

}  // namespace pelorin
