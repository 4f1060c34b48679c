#pragma once

#include <string>
#include <vector>

#include "ui/texts.h"

namespace pelorin::check {

// A display the texts are laid out for: its size in pixels and its DPI.
struct DisplayShape {
    const char* name;
    int width, height;
    float dpi;
};

// A small display, a 4K one, and a 4K one at 150 % (Windows' common scaling of such monitors).
inline constexpr DisplayShape DISPLAY_SHAPES[] = {
    {"1024x768", 1024, 768, 96}, {"3840x2160", 3840, 2160, 96}, {"3840x2160 at 150 %", 3840, 2160, 144}};

// Every screen's labels and buttons in these texts, laid out as on the display in the real host's
// fonts: those whose text does not fit its control even shrunk or wrapped, as "Greet.Label3 "text"".
std::vector<std::string> TextsThatDoNotFit(const Texts& texts, const DisplayShape& display);

}  // namespace pelorin::check
