#pragma once

#include <string>

#include "ui/texts.h"

namespace pelorin::check {

struct CheckOptions {
    // Where the report is written and the disk is measured; the current folder when empty.
    std::string folder;
    // The display it runs on, as a run would be shown on it (--display).
    int display = 0;
    // The sound check by cable: the output wired to an input, which is recorded (the system's default
    // input where none is named).
    bool loopback = false;
    std::string loopbackInput;
    // What the report says of the languages at hand, at its end.
    std::string languages;
    // The texts of the run's language, for the check's screen; its report stays English.
    Texts texts;
};

// The timing check a lab runs on its own PC before the first subject: about 30 seconds in the real
// full-screen window, showing what it measures (the display, the waits, the sound, the keyboard path,
// the disk), then the report printed on standard output and written as
// timing-check-<date>-<time>.txt in the folder. It writes nothing else there: no subject list, no
// results. Returns 0 once the report is written, 1 when it could not run or was stopped.
int RunTimingCheck(const CheckOptions& options);

}  // namespace pelorin::check
