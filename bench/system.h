#pragma once

#include <filesystem>
#include <string>

#include "report.h"

// What the benchmark does differently on each system it runs on: one file per system, chosen by the
// build (system_linux.cpp, system_win32.cpp).
namespace pelorin::bench {

// This program's own file, and a path quoted for the system's shell.
std::string SelfPath();
std::string ShellQuoted(const std::string& path);
int ProcessId();

// What a figure that needs watching the program from outside (the X server, the sound server) says
// where it cannot be measured; empty where it can.
std::string NotMeasuredHere();
// Whose figures these are, for the table's title after "Pelorin timing benchmark"; empty on Linux.
std::string SystemNote();
// The video driver SDL uses unless SDL_VIDEODRIVER names another.
const char* DefaultVideoDriver();

// The display's size; false without a display.
bool DisplaySize(int& width, int& height);
// Start-up to the first frame, runs+1 times (the first not counted); nothing where not measured here.
StartUp MeasureStartUp(const std::string& program, const std::filesystem::path& folder, int runs);

}  // namespace pelorin::bench
