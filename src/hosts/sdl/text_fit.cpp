#include "hosts/sdl/text_fit.h"

#include <algorithm>

#include "hosts/sdl/text_layout.h"
#include "ui/text.h"

namespace pelorin::sdl {

int TextWidth(Fonts& fonts, TTF_Font& font, std::string_view utf8) {
    int width = 0;
    size_t at = 0;
    while (at < utf8.size()) {
        char32_t codePoint = 0xFFFD;
        size_t length = Utf8Next(utf8, at, codePoint);
        width += fonts.Advance(font, codePoint);
        at += length == 0 ? 1 : length;
    }
    return width;
}

std::vector<std::string> WrapText(Fonts& fonts, TTF_Font& font, std::string_view displayText, int width) {
    std::vector<std::string> lines;
    Advance advance = [&fonts, &font](char32_t codePoint) { return fonts.Advance(font, codePoint); };
    size_t at = 0;
    while (at < displayText.size()) {
        LineBreak line = NextLine(displayText, at, std::max(width, 1), advance);
        lines.emplace_back(displayText.substr(at, line.end - at));
        at = line.next;
    }
    return lines;
}

namespace {

FittedText LayOut(Fonts& fonts, TTF_Font& font, std::string_view text, int width, int height) {
    FittedText fitted;
    fitted.font = &font;
    fitted.lineSkip = fonts.LineSkip(font);
    bool oneLine = height < 2 * fitted.lineSkip && text.find('\n') == std::string_view::npos;
    if (oneLine) {
        if (!text.empty()) fitted.lines.emplace_back(text);
    } else {
        fitted.lines = WrapText(fonts, font, text, width);
    }
    for (const std::string& line : fitted.lines) {
        fitted.widths.push_back(TextWidth(fonts, font, line));
        if (fitted.widths.back() > width) fitted.fits = false;
    }
    // A single line may stand taller than its box, as the design's one-line labels do; more lines may not.
    if (fitted.lines.size() > 1 && static_cast<int>(fitted.lines.size()) * fitted.lineSkip > height) fitted.fits = false;
    return fitted;
}

}  // namespace

FittedText FitText(Fonts& fonts, const Font& font, std::string_view displayText, int width, int height) {
    FittedText fitted = LayOut(fonts, fonts.Get(font), displayText, width, height);
    // Half a point at a time: the largest size that fits.
    for (float size = font.size - 0.5f; !fitted.fits && size >= font.size * SMALLEST_SHARE; size -= 0.5f) {
        FittedText smaller = LayOut(fonts, fonts.Get(size, font.bold), displayText, width, height);
        if (smaller.fits || size - 0.5f < font.size * SMALLEST_SHARE) fitted = std::move(smaller);
    }
    return fitted;
}

}  // namespace pelorin::sdl
