#include "platform/sdl/painter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/screen.h"
#include "platform/sdl/geometry.h"

namespace pelorin::sdl {

namespace {

constexpr Color WHITE{255, 255, 255};
constexpr Color LIGHT{227, 227, 227};
constexpr Color SHADOW{128, 128, 128};
constexpr Color DARK_SHADOW{64, 64, 64};
constexpr Color BLACK{0, 0, 0};
constexpr Color TITLE_BAR{0, 0, 128};
constexpr Color EXCLAMATION_YELLOW{255, 204, 0};
constexpr Color QUESTION_BLUE{0, 84, 166};

// Space between a box's edge and its text, inside the 2-pixel border.
constexpr int TEXT_PADDING = 4;
constexpr int BORDER = 2;
// Kept free on a text view's right for the scroll indicator, so the wrap does not depend on it.
constexpr int SCROLL_GUTTER = 8;

// Message boxes: 12 point text, for legibility on a large display.
constexpr float BOX_POINTS = 12.0f;
constexpr int BOX_MARGIN = 16;
constexpr int BOX_TITLE_HEIGHT = 28;
constexpr int BOX_ICON_SIZE = 32;
constexpr int BOX_BUTTON_WIDTH = 96;
constexpr int BOX_BUTTON_HEIGHT = 30;
constexpr int BOX_BUTTON_GAP = 10;
constexpr int BOX_MIN_WIDTH = 280;

SDL_Rect ToSdl(const PixelRect& rect) { return {rect.x, rect.y, rect.w, rect.h}; }

SDL_Rect Inset(const SDL_Rect& rect, int by) {
    return {rect.x + by, rect.y + by, std::max(0, rect.w - 2 * by), std::max(0, rect.h - 2 * by)};
}

SDL_Rect Intersect(const SDL_Rect& a, const SDL_Rect& b) {
    SDL_Rect result{};
    if (!SDL_IntersectRect(&a, &b, &result)) return {a.x, a.y, 0, 0};
    return result;
}

}  // namespace

TextViewLayouts::Layout& TextViewLayouts::For(const TextView& view) {
    Layout& layout = layouts[&view];
    SDL_Rect rect = ToSdl(PixelRectOf(view));
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

Painter::Painter(SDL_Renderer& renderer, Fonts& fonts, TextViewLayouts& layouts)
    : renderer(renderer), fonts(fonts), layouts(layouts), cache(renderer) {}

void Painter::DrawScreen(const Screen& screen, bool active) {
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(&renderer, &width, &height);
    clips.clear();
    SDL_RenderSetClipRect(&renderer, nullptr);
    Fill({0, 0, width, height}, BUTTON_FACE);
    DrawControls(screen, nullptr, active);
}

void Painter::Present() {
    SDL_RenderPresent(&renderer);
    cache.EndFrame();
}

void Painter::DrawControls(const Screen& screen, const Frame* parent, bool active) {
    // Labels and shapes are painted on the screen itself, below every windowed control.
    for (const Control* control : screen.Controls()) {
        if (control->Parent() != parent || !control->Visible() || IsWindowed(*control)) continue;
        if (control->Kind() == ControlKind::Label) DrawLabel(static_cast<const Label&>(*control));
        if (control->Kind() == ControlKind::Shape) DrawShape(static_cast<const Shape&>(*control));
    }
    const Control* focused = screen.FocusedControl();
    for (const Control* control : screen.Controls()) {
        if (control->Parent() != parent || !control->Visible() || !IsWindowed(*control)) continue;
        bool hasFocus = active && control == focused;
        switch (control->Kind()) {
        case ControlKind::Button:
            DrawButton(static_cast<const Button&>(*control), hasFocus);
            break;
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
            SDL_Rect rect = ToSdl(PixelRectOf(*control));
            Fill(rect, WINDOW_BACKGROUND);
            Outline(rect, BLACK);
            break;
        }
        default:
            break;
        }
    }
}

void Painter::DrawLabel(const Label& label) {
    SDL_Rect rect = ToSdl(PixelRectOf(label));
    TTF_Font& font = fonts.Get(label.GetFont());
    int lineSkip = fonts.LineSkip(font);
    std::string text = DisplayText(label.Caption());
    // DejaVu Sans is wider than the font the screens were laid out in. A label with room for one
    // line keeps its caption on one line, running past its ends as its alignment says, rather than
    // breaking it into lines it has no room for; taller labels wrap, and run on below if need be.
    std::vector<std::string> lines;
    if (rect.h < 2 * lineSkip && text.find('\n') == std::string::npos) {
        if (!text.empty()) lines.push_back(text);
    } else {
        lines = Wrap(font, text, rect.w);
    }
    std::vector<int> lefts;
    int left = rect.x;
    int right = rect.x + rect.w;
    for (const std::string& line : lines) {
        int width = TextWidth(font, line);
        int x = rect.x;
        if (label.GetAlignment() == Alignment::Center) x = rect.x + (rect.w - width) / 2;
        if (label.GetAlignment() == Alignment::Right) x = rect.x + rect.w - width;
        lefts.push_back(x);
        left = std::min(left, x);
        right = std::max(right, x + width);
    }
    SDL_Rect area{left, rect.y, right - left, std::max(rect.h, static_cast<int>(lines.size()) * lineSkip)};
    if (label.HasBackColor()) Fill(area, label.BackColor());
    for (size_t i = 0; i < lines.size(); ++i) {
        Text(font, lines[i], lefts[i], rect.y + static_cast<int>(i) * lineSkip, WINDOW_TEXT);
    }
}

void Painter::DrawShape(const Shape& shape) { Fill(ToSdl(PixelRectOf(shape)), shape.FillColor()); }

void Painter::DrawFace(const SDL_Rect& rect, const std::string& caption, TTF_Font& font, bool focused) {
    Fill(rect, BUTTON_FACE);
    SDL_Rect face = rect;
    if (focused) {
        // The focused (default) button has a black frame around its edges.
        Outline(rect, BLACK);
        face = Inset(rect, 1);
    }
    Raised(face);
    std::string text = DisplayText(caption);
    int width = TextWidth(font, text);
    int height = fonts.LineSkip(font);
    PushClip(Inset(face, BORDER));
    Text(font, text, face.x + (face.w - width) / 2, face.y + (face.h - height) / 2, WINDOW_TEXT);
    PopClip();
    if (focused) DottedOutline(Inset(face, 4));
}

void Painter::DrawButton(const Button& button, bool focused) {
    DrawFace(ToSdl(PixelRectOf(button)), button.Caption(), fonts.Get(button.GetFont()), focused);
}

void Painter::DrawTextBox(const TextBox& box, bool focused) {
    SDL_Rect rect = ToSdl(PixelRectOf(box));
    Fill(rect, WINDOW_BACKGROUND);
    Sunken(rect);
    TTF_Font& font = fonts.Get(box.GetFont());
    std::string text = DisplayText(box.Text());
    SDL_Rect inner = Inset(rect, BORDER);
    int width = TextWidth(font, text);
    int height = fonts.LineSkip(font);
    // Text longer than the box scrolls so that its end, where typing happens, stays in sight.
    int x = inner.x + 2 - std::max(0, width - (inner.w - 5));
    int y = inner.y + std::max(0, (inner.h - height) / 2);
    PushClip(inner);
    Text(font, text, x, y, WINDOW_TEXT);
    if (focused) Fill({x + width + 1, y, 1, std::min(height, inner.h)}, WINDOW_TEXT);
    PopClip();
}

void Painter::DrawFrame(const Screen& screen, const Frame& frame, bool active) {
    SDL_Rect rect = ToSdl(PixelRectOf(frame));
    // An etched groove, as a frame without caption shows.
    Outline({rect.x, rect.y, rect.w - 1, rect.h - 1}, SHADOW);
    Outline({rect.x + 1, rect.y + 1, rect.w - 1, rect.h - 1}, WHITE);
    PushClip(rect);
    DrawControls(screen, &frame, active);
    PopClip();
}

void Painter::DrawTextView(const TextView& view) {
    SDL_Rect rect = ToSdl(PixelRectOf(view));
    Fill(rect, view.BackColor());
    Sunken(rect);
    TextViewLayouts::Layout& layout = layouts.For(view);
    WrappedText& wrapped = *layout.wrapped;
    auto first = static_cast<size_t>(std::max(0, view.ScrollLine()));
    auto visible = static_cast<size_t>(layout.visibleLines);
    // One line more than shown tells whether the text goes on below the box.
    wrapped.EnsureLines(first + visible + 1);
    TTF_Font& font = *layout.font;
    PushClip(Inset(rect, BORDER));
    for (size_t line = first; line < std::min(first + visible, wrapped.LineCount()); ++line) {
        int y = layout.textArea.y + static_cast<int>(line - first) * layout.lineSkip;
        Text(font, wrapped.Line(line), layout.textArea.x, y, WINDOW_TEXT);
    }
    bool longer = first > 0 || wrapped.LineCount() > first + visible;
    if (longer) {
        // The thumb's place and length follow the share of the text above and in the box, which is
        // known without wrapping the rest.
        SDL_Rect track{rect.x + rect.w - BORDER - SCROLL_GUTTER + 1, rect.y + BORDER + 1, SCROLL_GUTTER - 2,
                       rect.h - 2 * BORDER - 2};
        Fill(track, LIGHT);
        double top = wrapped.Position(first);
        double bottom = first + visible < wrapped.LineCount() ? wrapped.Position(first + visible) : 1.0;
        int thumbTop = track.y + static_cast<int>(top * track.h);
        int thumbHeight = std::max(8, static_cast<int>((bottom - top) * track.h));
        thumbTop = std::min(thumbTop, track.y + track.h - thumbHeight);
        Fill({track.x, thumbTop, track.w, thumbHeight}, SHADOW);
    }
    PopClip();
}

MessageBoxGeometry Painter::LayOut(const MessageBoxModel& box, int windowWidth, int windowHeight) {
    MessageBoxGeometry geometry;
    TTF_Font& font = fonts.Get(BOX_POINTS, false);
    TTF_Font& bold = fonts.Get(BOX_POINTS, true);
    int lineSkip = fonts.LineSkip(font);
    bool hasIcon = box.GetIcon() != MessageBoxModel::Icon::None;
    int textLeft = BOX_MARGIN + (hasIcon ? BOX_ICON_SIZE + BOX_MARGIN : 0);
    int widest = std::max(BOX_MIN_WIDTH, windowWidth - 40) - textLeft - BOX_MARGIN;
    int textWidth = 0;
    for (const std::string& line : box.Lines()) {
        std::vector<std::string> wrapped = Wrap(font, DisplayText(line), widest);
        if (wrapped.empty()) wrapped.emplace_back();
        for (std::string& part : wrapped) {
            textWidth = std::max(textWidth, TextWidth(font, part));
            geometry.lines.push_back(std::move(part));
        }
    }
    int buttonsWidth = static_cast<int>(box.Choices().size()) * (BOX_BUTTON_WIDTH + BOX_BUTTON_GAP) - BOX_BUTTON_GAP;
    int width = std::max({BOX_MIN_WIDTH, textLeft + textWidth + BOX_MARGIN, buttonsWidth + 2 * BOX_MARGIN,
                          TextWidth(bold, DisplayText(box.Title())) + 2 * BOX_MARGIN});
    int textHeight = static_cast<int>(geometry.lines.size()) * lineSkip;
    int bodyHeight = std::max(textHeight, hasIcon ? BOX_ICON_SIZE : 0);
    int height = BORDER + BOX_TITLE_HEIGHT + BOX_MARGIN + bodyHeight + BOX_MARGIN + BOX_BUTTON_HEIGHT + BOX_MARGIN + BORDER;
    geometry.box = {(windowWidth - width) / 2, (windowHeight - height) / 2, width, height};
    const SDL_Rect& outer = geometry.box;
    geometry.titleBar = {outer.x + BORDER + 1, outer.y + BORDER + 1, outer.w - 2 * BORDER - 2, BOX_TITLE_HEIGHT - 2};
    int bodyTop = outer.y + BORDER + BOX_TITLE_HEIGHT + BOX_MARGIN;
    geometry.icon = {outer.x + BOX_MARGIN, bodyTop, BOX_ICON_SIZE, BOX_ICON_SIZE};
    geometry.textX = outer.x + textLeft;
    geometry.textY = bodyTop + (bodyHeight - textHeight) / 2;
    int buttonX = outer.x + (outer.w - buttonsWidth) / 2;
    int buttonY = bodyTop + bodyHeight + BOX_MARGIN;
    for (size_t i = 0; i < box.Choices().size(); ++i) {
        geometry.buttons.push_back({buttonX, buttonY, BOX_BUTTON_WIDTH, BOX_BUTTON_HEIGHT});
        buttonX += BOX_BUTTON_WIDTH + BOX_BUTTON_GAP;
    }
    return geometry;
}

void Painter::DrawMessageBox(const MessageBoxModel& box, const MessageBoxGeometry& geometry) {
    clips.clear();
    SDL_RenderSetClipRect(&renderer, nullptr);
    TTF_Font& font = fonts.Get(BOX_POINTS, false);
    TTF_Font& bold = fonts.Get(BOX_POINTS, true);
    Fill(geometry.box, BUTTON_FACE);
    Raised(geometry.box);
    Fill(geometry.titleBar, TITLE_BAR);
    PushClip(geometry.titleBar);
    int titleY = geometry.titleBar.y + (geometry.titleBar.h - fonts.LineSkip(bold)) / 2;
    Text(bold, DisplayText(box.Title()), geometry.titleBar.x + 6, titleY, WHITE);
    PopClip();
    DrawIcon(box.GetIcon(), geometry.icon);
    int y = geometry.textY;
    for (const std::string& line : geometry.lines) {
        Text(font, line, geometry.textX, y, WINDOW_TEXT);
        y += fonts.LineSkip(font);
    }
    for (size_t i = 0; i < geometry.buttons.size(); ++i) {
        DrawFace(geometry.buttons[i], box.Choices()[i].caption, font, i == box.Focus());
    }
}

void Painter::DrawIcon(MessageBoxModel::Icon icon, const SDL_Rect& rect) {
    if (icon == MessageBoxModel::Icon::None) return;
    auto vertex = [](float x, float y, Color color) {
        return SDL_Vertex{{x, y}, {color.r, color.g, color.b, 255}, {0, 0}};
    };
    auto cx = static_cast<float>(rect.x) + static_cast<float>(rect.w) / 2;
    auto cy = static_cast<float>(rect.y) + static_cast<float>(rect.h) / 2;
    auto radius = static_cast<float>(rect.w) / 2;
    std::vector<SDL_Vertex> vertices;
    std::string mark;
    Color markColor = BLACK;
    if (icon == MessageBoxModel::Icon::Exclamation) {
        float top = static_cast<float>(rect.y);
        float bottom = static_cast<float>(rect.y + rect.h);
        float left = static_cast<float>(rect.x);
        float right = static_cast<float>(rect.x + rect.w);
        // A black triangle with a yellow one inside it.
        vertices = {vertex(cx, top, BLACK), vertex(left, bottom, BLACK), vertex(right, bottom, BLACK),
                    vertex(cx, top + 3, EXCLAMATION_YELLOW), vertex(left + 2.5f, bottom - 1.5f, EXCLAMATION_YELLOW),
                    vertex(right - 2.5f, bottom - 1.5f, EXCLAMATION_YELLOW)};
        mark = "!";
        cy += radius / 4;
    } else {
        constexpr int SEGMENTS = 32;
        for (int i = 0; i < SEGMENTS; ++i) {
            float a0 = static_cast<float>(i) * 2.0f * std::numbers::pi_v<float> / SEGMENTS;
            float a1 = static_cast<float>(i + 1) * 2.0f * std::numbers::pi_v<float> / SEGMENTS;
            vertices.push_back(vertex(cx, cy, QUESTION_BLUE));
            vertices.push_back(vertex(cx + radius * std::cos(a0), cy + radius * std::sin(a0), QUESTION_BLUE));
            vertices.push_back(vertex(cx + radius * std::cos(a1), cy + radius * std::sin(a1), QUESTION_BLUE));
        }
        mark = "?";
        markColor = WHITE;
    }
    SDL_RenderGeometry(&renderer, nullptr, vertices.data(), static_cast<int>(vertices.size()), nullptr, 0);
    TTF_Font& font = fonts.Get(15.0f, true);
    int width = TextWidth(font, mark);
    int height = fonts.LineSkip(font);
    Text(font, mark, static_cast<int>(cx) - width / 2, static_cast<int>(cy) - height / 2, markColor);
}

void Painter::Fill(const SDL_Rect& rect, Color color) {
    if (rect.w <= 0 || rect.h <= 0) return;
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    SDL_RenderFillRect(&renderer, &rect);
}

void Painter::Outline(const SDL_Rect& rect, Color color) {
    if (rect.w <= 0 || rect.h <= 0) return;
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    SDL_RenderDrawRect(&renderer, &rect);
}

void Painter::Raised(const SDL_Rect& rect) { Bevel(rect, WHITE, DARK_SHADOW, LIGHT, SHADOW); }

void Painter::Sunken(const SDL_Rect& rect) { Bevel(rect, SHADOW, WHITE, DARK_SHADOW, LIGHT); }

void Painter::Bevel(const SDL_Rect& rect, Color outerLit, Color outerDark, Color innerLit, Color innerDark) {
    int right = rect.x + rect.w - 1;
    int bottom = rect.y + rect.h - 1;
    Fill({rect.x, rect.y, rect.w, 1}, outerLit);
    Fill({rect.x, rect.y, 1, rect.h}, outerLit);
    Fill({rect.x, bottom, rect.w, 1}, outerDark);
    Fill({right, rect.y, 1, rect.h}, outerDark);
    Fill({rect.x + 1, rect.y + 1, rect.w - 2, 1}, innerLit);
    Fill({rect.x + 1, rect.y + 1, 1, rect.h - 2}, innerLit);
    Fill({rect.x + 1, bottom - 1, rect.w - 2, 1}, innerDark);
    Fill({right - 1, rect.y + 1, 1, rect.h - 2}, innerDark);
}

void Painter::DottedOutline(const SDL_Rect& rect) {
    if (rect.w <= 0 || rect.h <= 0) return;
    std::vector<SDL_Point> points;
    int right = rect.x + rect.w - 1;
    int bottom = rect.y + rect.h - 1;
    for (int x = rect.x; x <= right; x += 2) {
        points.push_back({x, rect.y});
        points.push_back({x, bottom});
    }
    for (int y = rect.y; y <= bottom; y += 2) {
        points.push_back({rect.x, y});
        points.push_back({right, y});
    }
    SDL_SetRenderDrawColor(&renderer, 0, 0, 0, 255);
    SDL_RenderDrawPoints(&renderer, points.data(), static_cast<int>(points.size()));
}

void Painter::Text(TTF_Font& font, std::string_view utf8, int x, int y, Color color) {
    TextImage image = cache.Get(font, utf8, color);
    if (image.texture == nullptr) return;
    SDL_Rect target{x, y, image.width, image.height};
    SDL_RenderCopy(&renderer, image.texture, nullptr, &target);
}

int Painter::TextWidth(TTF_Font& font, std::string_view utf8) {
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

std::vector<std::string> Painter::Wrap(TTF_Font& font, std::string_view displayText, int width) {
    std::vector<std::string> lines;
    Advance advance = [this, &font](char32_t codePoint) { return fonts.Advance(font, codePoint); };
    size_t at = 0;
    while (at < displayText.size()) {
        LineBreak line = NextLine(displayText, at, std::max(width, 1), advance);
        lines.emplace_back(displayText.substr(at, line.end - at));
        at = line.next;
    }
    return lines;
}

void Painter::PushClip(const SDL_Rect& rect) {
    SDL_Rect clip = clips.empty() ? rect : Intersect(clips.back(), rect);
    // SDL takes an empty clip rectangle for none at all; one pixel off the window clips everything.
    if (clip.w <= 0 || clip.h <= 0) clip = {-2, -2, 1, 1};
    clips.push_back(clip);
    SDL_RenderSetClipRect(&renderer, &clip);
}

void Painter::PopClip() {
    clips.pop_back();
    if (clips.empty()) {
        SDL_RenderSetClipRect(&renderer, nullptr);
    } else {
        SDL_RenderSetClipRect(&renderer, &clips.back());
    }
}

}  // namespace pelorin::sdl
