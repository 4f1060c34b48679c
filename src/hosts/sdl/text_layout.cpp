#include "hosts/sdl/text_layout.h"

#include <algorithm>

#include "hosts/sdl/canvas.h"
#include "hosts/sdl/geometry.h"
#include "hosts/sdl/text.h"

namespace pelorin::sdl {

namespace {

// Space between a text view's border and its text.
constexpr int TEXT_PADDING = 4;

}  // namespace

LineBreak NextLine(std::string_view text, size_t start, int width, const Advance& advance) {
    size_t at = start;
    int lineWidth = 0;
    // The end of the text before the last run of blanks seen, where the line may break.
    size_t breakAt = std::string_view::npos;
    bool inBlanks = false;
    auto breakHere = [&](size_t end) {
        size_t next = end;
        while (next < text.size() && text[next] == ' ') ++next;
        return LineBreak{end, next};
    };
    while (at < text.size()) {
        if (text[at] == '\n') return {at, at + 1};
        char32_t codePoint = 0xFFFD;
        size_t length = Utf8Next(text, at, codePoint);
        if (length == 0) length = 1;
        int glyphWidth = advance(codePoint);
        if (codePoint == ' ') {
            if (!inBlanks) breakAt = at;
            inBlanks = true;
        } else {
            inBlanks = false;
            if (lineWidth + glyphWidth > width && at > start) {
                if (breakAt != std::string_view::npos && breakAt > start) return breakHere(breakAt);
                return {at, at};
            }
        }
        lineWidth += glyphWidth;
        at += length;
    }
    return {text.size(), text.size()};
}

WrappedText::WrappedText(std::string text, int width, Advance advance)
    : text(std::move(text)), width(std::max(width, 1)), advance(std::move(advance)) {}

void WrappedText::EnsureLines(size_t count) {
    while (starts.size() < count && next < text.size()) {
        LineBreak line = NextLine(text, next, width, advance);
        starts.push_back(next);
        ends.push_back(line.end);
        next = line.next;
    }
}

std::string_view WrappedText::Line(size_t index) const {
    return std::string_view(text).substr(starts[index], ends[index] - starts[index]);
}

double WrappedText::Position(size_t index) const {
    if (text.empty()) return 0;
    size_t at = index < starts.size() ? starts[index] : next;
    return static_cast<double>(at) / static_cast<double>(text.size());
}

TextViewLayouts::Layout& TextViewLayouts::For(const TextView& view) {
    Layout& layout = layouts[&view];
    PixelRect rect = PixelRectOf(view, fonts.TwipsPerPixel());
    TTF_Font& font = fonts.Get(view.GetFont());
    layout.textArea = {rect.x + BORDER + TEXT_PADDING, rect.y + BORDER + TEXT_PADDING,
                       std::max(1, rect.w - 2 * BORDER - TEXT_PADDING - SCROLL_GUTTER),
                       std::max(1, rect.h - 2 * (BORDER + TEXT_PADDING))};
    layout.lineSkip = std::max(1, fonts.LineSkip(font));
    layout.visibleLines = std::max(1, layout.textArea.h / layout.lineSkip);
    if (!layout.wrapped || layout.revision != view.TextRevision() || layout.width != layout.textArea.w ||
        layout.font != &font) {
        layout.revision = view.TextRevision();
        layout.width = layout.textArea.w;
        layout.font = &font;
        layout.wrapped = std::make_unique<WrappedText>(
            DisplayText(view.Text()), layout.width,
            [this, &font](char32_t codePoint) { return fonts.Advance(font, codePoint); });
    }
    return layout;
}

void TextViewLayouts::Scroll(TextView& view, int lines) {
    Layout& layout = For(view);
    int wanted = std::max(0, view.ScrollLine() + lines);
    layout.wrapped->EnsureLines(static_cast<size_t>(wanted + layout.visibleLines));
    int last = std::max(0, static_cast<int>(layout.wrapped->LineCount()) - layout.visibleLines);
    view.SetScrollLine(std::min(wanted, last));
}

int TextViewLayouts::PageLines(const TextView& view) { return std::max(1, For(view).visibleLines - 1); }

}  // namespace pelorin::sdl
