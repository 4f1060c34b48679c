#pragma once

#include <string>

#include "ui/host.h"

namespace pelorin {

// The newest timing check of this PC found in a run folder: its report's file name and verdict.
struct TimingCheckFound {
    std::string file;     // empty: none found
    std::string verdict;  // the report's verdict line, without "Verdict: "
};

// What a run ran on, as its sidecar records it under StimulusPresentation: the build, the system, the
// sound output, the display, the keyboard layout and the PC's latest timing check.
struct Provenance {
    std::string softwareVersion;
    std::string sourceCommit;  // "unknown" when the build was not made from a git checkout
    std::string codeUrl;       // where the code can be read; empty when the build does not say
    std::string operatingSystem;
    AudioOutput audio;
    DisplayFacts display;
    std::string keyboardLayout;  // empty: the system does not say
    TimingCheckFound timingCheck;
};

// The program's version and the source commit it was built from, as --version prints them.
std::string VersionText();

// Gathers the facts from the build, the system, the host and the run folder (where a lab runs
// pelorin --check before its first subject).
Provenance GatherProvenance(Host& host, const std::string& runFolder);

// The StimulusPresentation object of an events file's sidecar, on one line: the keys BIDS defines
// (OperatingSystem, SoftwareName, SoftwareVersion, Code, ScreenResolution, ScreenRefreshRate,
// ScreenSize) and Pelorin's own beside them.
// more: members of the object's own to end it with (",\n    \"Name\": value" each).
std::string StimulusPresentationJson(const Provenance& provenance, const std::string& more = {});

// The newest report of the timing check named timing-check-*.txt in the folder that was made on the
// PC named machine; a report that names no PC, or another, is not this PC's.
TimingCheckFound NewestTimingCheck(const std::string& folder, const std::string& machine);

// The line of a timing check report that names its PC, which NewestTimingCheck reads.
std::string TimingCheckMachineLine(const std::string& machine);

}  // namespace pelorin
