#pragma once

#include <map>
#include <string>
#include <vector>

#include "measure.h"

namespace pelorin::bench {

// Figures of one measured phase, by name, as its child process printed them.
using Figures = std::map<std::string, std::vector<double>>;

// Start-up to the first frame, of pelorin and of the bare SDL program.
struct StartUp {
    std::vector<double> millis;
    double peakRssMegabytes = 0;
};

// Everything one run measured.
struct Measured {
    Settings settings;
    int width = 0;
    int height = 0;
    Figures blockPelorin, blockBaseline, miscPelorin, miscBaseline;
    StartUp startPelorin, startBare;
};

// Prints the table: each figure for the program beside the baseline drawing and tone start, with its
// target and whether the program met it.
void PrintReport(const Measured& measured);

}  // namespace pelorin::bench
