#pragma once

#include <string>
#include <string_view>

// What the machine the program runs on says of itself, for the records of a run and the timing
// check: one file per system (posix/system_facts_posix.cpp, win32/system_facts_win32.cpp).
namespace pelorin {

// The operating system with its version, as a lab would name it: "Debian GNU/Linux 12 (bookworm),
// Linux 6.1.0-13-amd64 x86_64", "Windows 10.0 build 19045", "Windows 10.0 build 19045 under Wine 8.0".
std::string OperatingSystemDescription();

// A value of an os-release file (the distribution's PRETTY_NAME and the like) as its shell-like syntax
// says: its quotes, double or single, are no part of it, nor the backslash of an escape inside double
// quotes. Empty when the file does not name it. (Linux's file: not built for Windows.)
std::string OsReleaseValue(std::string_view osRelease, std::string_view name);

// The computer's name, which tells one PC's timing checks from another's in a shared folder; empty
// when the system does not say.
std::string MachineName();

}  // namespace pelorin
