#include "system/warning.h"

#include <iostream>

namespace pelorin {

namespace {

// Set once at start by the program, before anything can fail.
void (*failureBox)(const std::string& message) = nullptr;

}  // namespace

void Warn(const std::string& message) { std::cerr << "pelorin: " << message << '\n'; }

void ReportFailure(const std::string& message) {
    Warn(message);
    if (failureBox) failureBox(message);
}

void ShowFailuresIn(void (*box)(const std::string& message)) { failureBox = box; }

}  // namespace pelorin
