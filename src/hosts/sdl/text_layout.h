#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hosts/sdl/sdl_types.h"
#include "ui/text.h"

namespace pelorin {
class TextView;
}

namespace pelorin::sdl {

// Width of a code point in pixels.
using Advance = std::function<int(char32_t)>;

struct LineBreak {
    size_t end;   // end of the line's visible text
    size_t next;  // start of the following line
};

// The line of display text starting at `start`, no wider than `width`: broken after the last blank
// that fits, or inside a word that alone is too wide. Blanks at a break hang past the edge.
LineBreak NextLine(std::string_view text, size_t start, int width, const Advance& advance);

// Display text wrapped to a width, line by line as far as asked for: a 10 MB file costs only the
// lines that are looked at.
class WrappedText {
public:
    WrappedText(std::string text, int width, Advance advance);

    // Wraps on until `count` lines exist or the text ends.
    void EnsureLines(size_t count);
    // Lines wrapped so far; all of them once Complete().
    size_t LineCount() const { return starts.size(); }
    bool Complete() const { return next >= text.size(); }
    std::string_view Line(size_t index) const;
    // Where a line starts in the text, as a share of the text's length, for a scroll bar.
    double Position(size_t index) const;

private:
    std::string text;
    int width;
    Advance advance;
    std::vector<size_t> starts;
    std::vector<size_t> ends;
    size_t next = 0;
};

class Fonts;

// Text views' text wrapped to their width, kept per text revision, with the scrolling that depends
// on it. Shared by the drawing and the keys and wheel that scroll.
class TextViewLayouts {
public:
    // Kept free on a text view's right for the scroll indicator, so the wrap does not depend on it.
    static constexpr int SCROLL_GUTTER = 8;

    explicit TextViewLayouts(Fonts& fonts) : fonts(fonts) {}

    struct Layout {
        uint64_t revision = 0;
        int width = 0;
        TTF_Font* font = nullptr;
        std::unique_ptr<WrappedText> wrapped;
        SDL_Rect textArea{};
        int lineSkip = 1;
        int visibleLines = 1;
    };

    // The view's layout for its current text, size and font.
    Layout& For(const TextView& view);
    // Scrolls by whole lines, within the text: the last line can come up to the box's bottom.
    void Scroll(TextView& view, int lines);
    // A page is the box's lines less one, so the line at the edge stays in sight.
    int PageLines(const TextView& view);

private:
    Fonts& fonts;
    std::unordered_map<const TextView*, Layout> layouts;
};

}  // namespace pelorin::sdl
