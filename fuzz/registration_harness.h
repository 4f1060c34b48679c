#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelorin::fuzz {

// Runs one registration case on the headless host in a fresh folder and checks what it left behind.
// The case's bytes are: a setup byte (whether the subject list exists, whether Res_Data is a file),
// two bytes of list length, the list's contents, then the actions of the experimenter, one or two
// bytes each: keys, Tab, Shift+Tab, Ctrl+Tab, Enter, Backspace, Esc answered No or Yes, clicks on
// the boxes and on "Start", other key-downs, and records that another program appends meanwhile.
// Returns an empty string when every invariant held, otherwise what broke.
std::string RunRegistrationCase(const uint8_t* data, size_t size);

}  // namespace pelorin::fuzz
