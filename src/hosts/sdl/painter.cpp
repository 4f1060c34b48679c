#include "hosts/sdl/painter.h"

#include <algorithm>

#include "hosts/sdl/geometry.h"
#include "hosts/sdl/text_fit.h"
#include "ui/text.h"
#include "ui/screen.h"

namespace pelorin::sdl {

namespace {

SDL_Rect ToSdl(const PixelRect& rect) { return {rect.x, rect.y, rect.w, rect.h}; }

}  // namespace

Painter::Painter(Canvas& canvas, TextViewLayouts& layouts)
    : canvas(canvas), fonts(canvas.GetFonts()), layouts(layouts) {}

void Painter::DrawScreen(const Screen& screen, bool active) {
    canvas.BeginItem(&screen);
    canvas.Clear(BUTTON_FACE);
    DrawControls(screen, nullptr, active);
}

void Painter::DrawControls(const Screen& screen, const Frame* parent, bool active) {
    // Labels and shapes are painted on the screen itself, below every windowed control.
    for (const Control* control : screen.Controls()) {
        if (control->Parent() != parent || !control->Visible() || IsWindowed(*control)) continue;
        // Each control on the screen itself is an item of the frame, a frame with what it holds.
        if (parent == nullptr) canvas.BeginItem(control);
        if (control->Kind() == ControlKind::Label) DrawLabel(static_cast<const Label&>(*control));
        if (control->Kind() == ControlKind::Shape) {
            canvas.Fill(ToSdl(PixelRectOf(*control, fonts.TwipsPerPixel())),
                        static_cast<const Shape&>(*control).FillColor());
        }
    }
    const Control* focused = screen.FocusedControl();
    for (const Control* control : screen.Controls()) {
        if (control->Parent() != parent || !control->Visible() || !IsWindowed(*control)) continue;
        if (parent == nullptr) canvas.BeginItem(control);
        bool hasFocus = active && control == focused;
        switch (control->Kind()) {
        case ControlKind::Button: {
            const auto& button = static_cast<const Button&>(*control);
            SDL_Rect rect = ToSdl(PixelRectOf(button, fonts.TwipsPerPixel()));
            // A caption longer than the face is drawn smaller, inside the face's edges.
            SDL_Rect inner = Inset(rect, BORDER + 2);
            FittedText fitted = FitText(fonts, button.GetFont(), DisplayText(button.Caption()), inner.w, inner.h);
            canvas.ButtonFace(rect, button.Caption(), *fitted.font, hasFocus);
            break;
        }
        case ControlKind::TextBox:
            DrawTextBox(static_cast<const TextBox&>(*control), hasFocus);
            break;
        case ControlKind::Frame:
            DrawFrame(screen, static_cast<const Frame&>(*control), active);
            break;
        case ControlKind::TextView:
            DrawTextView(static_cast<const TextView&>(*control));
            break;
        case ControlKind::Pane: {
            // An embedding pane with nothing embedded: the window colour in a single-line border.
            SDL_Rect rect = ToSdl(PixelRectOf(*control, fonts.TwipsPerPixel()));
            canvas.Fill(rect, WINDOW_BACKGROUND);
            canvas.Outline(rect, BLACK);
            break;
        }
        default:
            break;
        }
    }
}

void Painter::DrawLabel(const Label& label) {
    SDL_Rect rect = ToSdl(PixelRectOf(label, fonts.TwipsPerPixel()));
    // DejaVu Sans is wider than the font the screens were laid out in, and a translation often longer
    // than the English: a caption that would run past its label is drawn smaller, or wrapped where the
    // label has room for more lines. Only one that does not fit even so runs past its ends, as its
    // alignment says.
    FittedText fitted = FitText(fonts, label.GetFont(), DisplayText(label.Caption()), rect.w, rect.h);
    TTF_Font& font = *fitted.font;
    int lineSkip = fitted.lineSkip;
    const std::vector<std::string>& lines = fitted.lines;
    std::vector<int> lefts;
    int left = rect.x;
    int right = rect.x + rect.w;
    for (int width : fitted.widths) {
        int x = rect.x;
        if (label.GetAlignment() == Alignment::Center) x = rect.x + (rect.w - width) / 2;
        if (label.GetAlignment() == Alignment::Right) x = rect.x + rect.w - width;
        lefts.push_back(x);
        left = std::min(left, x);
        right = std::max(right, x + width);
    }
    SDL_Rect area{left, rect.y, right - left, std::max(rect.h, static_cast<int>(lines.size()) * lineSkip)};
    if (label.HasBackColor()) canvas.Fill(area, label.BackColor());
    for (size_t i = 0; i < lines.size(); ++i) {
        canvas.Text(font, lines[i], lefts[i], rect.y + static_cast<int>(i) * lineSkip, WINDOW_TEXT);
    }
}

void Painter::DrawTextBox(const TextBox& box, bool focused) {
    SDL_Rect rect = ToSdl(PixelRectOf(box, fonts.TwipsPerPixel()));
    canvas.Fill(rect, WINDOW_BACKGROUND);
    canvas.Sunken(rect);
    TTF_Font& font = fonts.Get(box.GetFont());
    std::string text = DisplayText(box.Text());
    SDL_Rect inner = Inset(rect, BORDER);
    int width = canvas.TextWidth(font, text);
    int height = fonts.LineSkip(font);
    // Text longer than the box scrolls so that its end, where typing happens, stays in sight.
    int x = inner.x + 2 - std::max(0, width - (inner.w - 5));
    int y = inner.y + std::max(0, (inner.h - height) / 2);
    canvas.PushClip(inner);
    canvas.Text(font, text, x, y, WINDOW_TEXT);
    if (focused) canvas.Fill({x + width + 1, y, 1, std::min(height, inner.h)}, WINDOW_TEXT);
    canvas.PopClip();
}

void Painter::DrawFrame(const Screen& screen, const Frame& frame, bool active) {
    SDL_Rect rect = ToSdl(PixelRectOf(frame, fonts.TwipsPerPixel()));
    // An etched groove, as a frame without caption shows.
    canvas.Outline({rect.x, rect.y, rect.w - 1, rect.h - 1}, SHADOW);
    canvas.Outline({rect.x + 1, rect.y + 1, rect.w - 1, rect.h - 1}, WHITE);
    canvas.PushClip(rect);
    DrawControls(screen, &frame, active);
    canvas.PopClip();
}

void Painter::DrawTextView(const TextView& view) {
    SDL_Rect rect = ToSdl(PixelRectOf(view, fonts.TwipsPerPixel()));
    canvas.Fill(rect, view.BackColor());
    canvas.Sunken(rect);
    TextViewLayouts::Layout& layout = layouts.For(view);
    WrappedText& wrapped = *layout.wrapped;
    auto first = static_cast<size_t>(std::max(0, view.ScrollLine()));
    auto visible = static_cast<size_t>(layout.visibleLines);
    // One line more than shown tells whether the text goes on below the box.
    wrapped.EnsureLines(first + visible + 1);
    TTF_Font& font = *layout.font;
    canvas.PushClip(Inset(rect, BORDER));
    for (size_t line = first; line < std::min(first + visible, wrapped.LineCount()); ++line) {
        int y = layout.textArea.y + static_cast<int>(line - first) * layout.lineSkip;
        canvas.Text(font, wrapped.Line(line), layout.textArea.x, y, WINDOW_TEXT);
    }
    bool longer = first > 0 || wrapped.LineCount() > first + visible;
    if (longer) {
        // The thumb's place and length follow the share of the text above and in the box, which is
        // known without wrapping the rest.
        SDL_Rect track{rect.x + rect.w - BORDER - TextViewLayouts::SCROLL_GUTTER + 1, rect.y + BORDER + 1, TextViewLayouts::SCROLL_GUTTER - 2,
                       rect.h - 2 * BORDER - 2};
        canvas.Fill(track, LIGHT);
        double top = wrapped.Position(first);
        double bottom = first + visible < wrapped.LineCount() ? wrapped.Position(first + visible) : 1.0;
        int thumbTop = track.y + static_cast<int>(top * track.h);
        int thumbHeight = std::max(8, static_cast<int>((bottom - top) * track.h));
        thumbTop = std::min(thumbTop, track.y + track.h - thumbHeight);
        canvas.Fill({track.x, thumbTop, track.w, thumbHeight}, SHADOW);
    }
    canvas.PopClip();
}

}  // namespace pelorin::sdl
