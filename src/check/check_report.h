#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "ui/host.h"

// What the timing check found on the lab's PC, the bounds it holds the figures to, and its report.
namespace pelorin::check {

// Bounds beyond which a figure gets a warning.
inline constexpr int MIN_REFRESH_HZ = 60;
inline constexpr int MAX_BUFFER_FRAMES = 1024;
inline constexpr double MAX_FLUSH_MS = 50;
// A sound output whose clock runs further apart from the system's than this (0.1 %) plays tones
// longer or shorter, and places them later or earlier, than the program's clock says.
inline constexpr double MAX_DRIFT_PPM = 1000;
// Recorded tone onsets against the results file's: a spread beyond this is felt in response times.
inline constexpr double MAX_LOOPBACK_SD_MS = 1;
// Frames shown a refresh or more late, in % of those shown: beyond this a display (or what runs
// beside the program) keeps letters from their aimed refresh often enough to matter.
inline constexpr double MAX_LATE_FRAMES_PERCENT = 1;

// The systems the timing mega-study has rows for that a check can be run on.
enum class ReferenceSystem { Linux, Windows };

// A row of the timing mega-study (Bridges et al. 2020, PeerJ 8:e9414, Table 2): lag and SD, in ms.
struct MegaStudyRow {
    ReferenceSystem system;
    const char* systemName;  // as the study names it
    const char* measure;     // "visual", "audio", "response"
    double lagMs;
    double sdMs;
};

// The study's row for a measure on a system, or null when the study gives none here.
const MegaStudyRow* MegaStudyRowFor(ReferenceSystem system, const std::string& measure);

struct DisplayFigures {
    int width = 0, height = 0;  // pixels
    int scalingPercent = 100;
    std::string scalingSource;  // where the scaling was read, such as "Xft.dpi 144"
    int refreshHz = 0;          // 0: the system reports none
    std::vector<double> presents;  // ms per present of a frame that showed a growing bar
    std::vector<double> onsets;    // ms from each such present's call to the frame's onset
    FrameStamp onsetStamp = FrameStamp::PresentCall;
    double measuredRefreshMs = 0;  // from the display's stamps; 0: none
    double framesShown = 0, framesMissed = 0;  // over the block, shown at the refresh
    // Over the whole check, up to its report: the frames shown and those shown a refresh or more after
    // the one they were aimed at, counted where every frame was stamped at the display's refresh.
    FrameStamp checkStamp = FrameStamp::PresentCall;
    double checkFramesShown = 0, checkFramesMissed = 0;
    double checkSeconds = 0;
    std::vector<DisplayInfo> listed;        // every display the system lists
    int number = 0;                         // the one checked, as a run with the same --display
    float twipsPerPixel = TWIPS_PER_PIXEL;  // what Pelorin draws at there
};

struct WaitFigures {
    std::vector<double> wait25, wait35;  // overshoot, ms
    int blockSeconds = 0;
    std::vector<double> ticks;  // growth-tick lateness, ms
    double ticksFired = 0, ticksDue = 0;
    double cpuProcess = 0, cpuThread = 0;  // % of one core over the block
};

struct SoundFigures {
    AudioOutput output;
    std::string tones;            // which tones were played
    std::vector<double> latency;  // ms from each call to its reported onset
    int exact = 0;                // onsets read back from the output's clock
    double driftPpm = 0;          // the audio clock against the system clock; NaN when not known
};

struct KeyFigures {
    std::string injector;  // "XTest", "SendInput"; empty when keys could not be injected
    std::vector<double> idleToHandler;
    double idleLost = 0;
    std::vector<double> idleToStamp;  // from the injection to the time stamped on the key
    std::vector<double> toneToStamp, toneToHandler;
    double toneLost = 0;
    KeyboardLayout layout;  // the active layout, and the answer keys it cannot type
};

struct DiskFigures {
    std::string folder;
    std::vector<double> rows, flushes;  // ms
    std::string error;                  // why the disk could not be measured, or failed after some rows
};

struct PowerFigures {
    bool checked = false;  // the system has power plans (Windows)
    std::string plan;  // empty when the system does not say
    bool highPerformance = true;
    bool onBattery = false;
};

// Tones played with the output wired to an input (--check --loopback), each recorded onset against
// the onset the results file would write for it.
struct LoopbackFigures {
    bool asked = false;
    std::string input;    // the sound system and the input recorded
    std::string error;    // why nothing could be recorded
    int played = 0;       // tones played
    std::vector<double> recordedMinusWritten;  // ms, one per tone found in the recording
    int written = 0;      // of the tones found, those whose written onset was read back from the output
    std::vector<double> readBackMinusWritten;  // ms, the differences of those read back
    double pacePpm = NAN;  // the recording's clock against the system's
};

struct CheckFigures {
    std::string started;  // local date and time
    std::string program;  // name, version and source commit
    std::string system;
    std::string machine;  // the PC's name, which tells its reports from other PCs' in a shared folder
    ReferenceSystem reference = ReferenceSystem::Linux;
    DisplayFigures display;
    WaitFigures waits;
    SoundFigures sound;
    KeyFigures keys;
    DiskFigures disk;
    PowerFigures power;
    LoopbackFigures loopback;
};

// A figure out of bounds, and what the lab does about it.
struct Warning {
    std::string what;
    std::string todo;
};

std::vector<Warning> Warnings(const CheckFigures& figures);

// The check's exit code, for a lab's scripts: 0 once the report is written; 1 when it could not be, or
// when the disk failed (even after good flushes), which no run should meet. Other warnings leave it 0.
int CheckExitCode(const CheckFigures& figures, bool reportWritten);

// The report as printed and written: one section per part measured, the verdict, the warnings.
std::string FormatReport(const CheckFigures& figures);

// The report's file name for a local time: timing-check-YYYY-MM-DD-HHMMSS.txt.
std::string ReportFileName(int year, int month, int day, int hour, int minute, int second);

}  // namespace pelorin::check
