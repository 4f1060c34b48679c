#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/control.h"
#include "platform/sdl/message_box.h"
#include "platform/sdl/sdl_types.h"
#include "platform/sdl/text.h"
#include "platform/sdl/text_layout.h"

namespace pelorin {
class Screen;
}

namespace pelorin::sdl {

// Text views' text wrapped to their width, kept per text revision, with the scrolling that depends
// on it. Shared by the drawing and the keys and wheel that scroll.
class TextViewLayouts {
public:
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

// Where the parts of a message box go, in pixels of the main window.
struct MessageBoxGeometry {
    SDL_Rect box{};
    SDL_Rect titleBar{};
    SDL_Rect icon{};
    int textX = 0;
    int textY = 0;
    std::vector<std::string> lines;
    std::vector<SDL_Rect> buttons;
};

// Draws the control model into one window's renderer.
class Painter {
public:
    Painter(SDL_Renderer& renderer, Fonts& fonts, TextViewLayouts& layouts);

    void DrawScreen(const Screen& screen, bool active);
    MessageBoxGeometry LayOut(const MessageBoxModel& box, int windowWidth, int windowHeight);
    void DrawMessageBox(const MessageBoxModel& box, const MessageBoxGeometry& geometry);
    // Shows what was drawn.
    void Present();

private:
    void DrawControls(const Screen& screen, const Frame* parent, bool active);
    void DrawLabel(const Label& label);
    void DrawShape(const Shape& shape);
    void DrawButton(const Button& button, bool focused);
    void DrawTextBox(const TextBox& box, bool focused);
    void DrawFrame(const Screen& screen, const Frame& frame, bool active);
    void DrawTextView(const TextView& view);
    void DrawFace(const SDL_Rect& rect, const std::string& caption, TTF_Font& font, bool focused);
    void DrawIcon(MessageBoxModel::Icon icon, const SDL_Rect& rect);

    void Fill(const SDL_Rect& rect, Color color);
    void Outline(const SDL_Rect& rect, Color color);
    // The two-pixel 3D edges of the classic controls.
    void Raised(const SDL_Rect& rect);
    void Sunken(const SDL_Rect& rect);
    // Two-pixel edges: the top and left lines lit, the bottom and right ones dark.
    void Bevel(const SDL_Rect& rect, Color outerLit, Color outerDark, Color innerLit, Color innerDark);
    void DottedOutline(const SDL_Rect& rect);
    // Text at a point, its top-left corner there.
    void Text(TTF_Font& font, std::string_view utf8, int x, int y, Color color);
    int TextWidth(TTF_Font& font, std::string_view utf8);
    std::vector<std::string> Wrap(TTF_Font& font, std::string_view displayText, int width);

    // Clipping that nests: each pushed rectangle is cut to the one before.
    void PushClip(const SDL_Rect& rect);
    void PopClip();

    SDL_Renderer& renderer;
    Fonts& fonts;
    TextViewLayouts& layouts;
    TextCache cache;
    std::vector<SDL_Rect> clips;
};

}  // namespace pelorin::sdl
