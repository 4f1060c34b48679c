#pragma once

// What the process costs the machine, from the system's own accounting: one file per system
// (src/system/posix/process_times_posix.cpp, src/system/win32/process_times_win32.cpp).
namespace pelorin::measure {

// CPU time, in seconds, of the whole process and of the calling thread.
double ProcessCpuSeconds();
double ThreadCpuSeconds();
// The process's peak resident memory (Windows: peak working set), in MB.
double PeakMemoryMegabytes();

}  // namespace pelorin::measure
