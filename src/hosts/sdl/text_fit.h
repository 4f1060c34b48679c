#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "hosts/sdl/text.h"
#include "ui/control.h"

namespace pelorin::sdl {

// A text as its control shows it: the font it is drawn in and its lines.
struct FittedText {
    TTF_Font* font = nullptr;
    std::vector<std::string> lines;
    // Each line's width in pixels, and the line height.
    std::vector<int> widths;
    int lineSkip = 0;
    // False when even the smallest size runs past the box: the text is drawn so, and a check says so.
    bool fits = true;
};

// A line's width in pixels: the sum of its glyphs' advances.
int TextWidth(Fonts& fonts, TTF_Font& font, std::string_view utf8);
// Display text broken into lines no wider than width, after blanks where it can.
std::vector<std::string> WrapText(Fonts& fonts, TTF_Font& font, std::string_view displayText, int width);

// The smallest size a text shrinks to, as a share of its design size.
inline constexpr float SMALLEST_SHARE = 0.6f;

// The display text in a box of width x height pixels: on one line where the box has room for one, wrapped
// where it has room for more; in a smaller size of its font where the design size would run past the
// box, down to SMALLEST_SHARE of it. The box never moves or grows: a translation a third longer than the
// English shrinks or wraps inside it.
FittedText FitText(Fonts& fonts, const Font& font, std::string_view displayText, int width, int height);

}  // namespace pelorin::sdl
