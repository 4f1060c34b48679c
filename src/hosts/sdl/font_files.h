#pragma once

#include <string>

namespace pelorin::sdl {

// The files of DejaVu Sans, regular and bold ("" when missing), and where the font comes from, for
// the message when it is missing. Each system's search lives in a file of its own: fontconfig on
// Linux, the program's own folder on Windows (the package puts the font beside pelorin.exe).
struct FontFiles {
    std::string regular;
    std::string bold;
    std::string whereFrom;
};
FontFiles FindFontFiles();

}  // namespace pelorin::sdl
