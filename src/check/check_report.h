#pragma once

#include <string>
#include <vector>

#include "platform/host.h"

// What the timing check found on the lab's PC, the bounds it holds the figures to, and its report.
namespace pelorin::check {

// Bounds beyond which a figure gets a warning.
inline constexpr int MIN_REFRESH_HZ = 60;
inline constexpr int MAX_BUFFER_FRAMES = 1024;
inline constexpr double MAX_FLUSH_MS = 50;

struct DisplayFigures {
    int width = 0, height = 0;  // pixels
    int scalingPercent = 100;
    std::string scalingSource;  // where the scaling was read, such as "Xft.dpi 144"
    int refreshHz = 0;          // 0: the system reports none
    std::vector<double> presents;  // ms per present of a frame that showed a growing bar
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

struct CheckFigures {
    std::string started;  // local date and time
    std::string program;  // name and version
    std::string system;
    DisplayFigures display;
    WaitFigures waits;
    SoundFigures sound;
    KeyFigures keys;
    DiskFigures disk;
    PowerFigures power;
};

// A figure out of bounds, and what the lab does about it.
struct Warning {
    std::string what;
    std::string todo;
};

std::vector<Warning> Warnings(const CheckFigures& figures);

// The report as printed and written: one section per part measured, the verdict, the warnings.
std::string FormatReport(const CheckFigures& figures);

// The report's file name for a local time: timing-check-YYYY-MM-DD-HHMMSS.txt.
std::string ReportFileName(int year, int month, int day, int hour, int minute, int second);

}  // namespace pelorin::check
