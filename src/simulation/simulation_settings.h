#pragma once

#include <cstdint>
#include <string>

#include "ui/texts.h"

namespace pelorin {

// What the simulated subjects of a run are like, as the command line gives it.
struct SimulationSettings {
    int subjects = 0;
    uint64_t seed = 1;
    // The chance that an answer is the right key.
    double accuracy = 0.9;
    // Response times from each stimulus's onset, in milliseconds: their mean and standard deviation.
    double rtMeanMs = 600;
    double rtSdMs = 150;
    // Added to the mean response time in the block with tones and letters at once.
    double dualCostMs = 150;
    // The run folder the subjects are registered in, relative to the current folder unless absolute.
    std::string out = "Simulated_Data";
    // The texts the screens show, in the language --language chose: the sidecars say it.
    Texts texts;
};

}  // namespace pelorin
