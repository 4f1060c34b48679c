#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/control.h"
#include "platform/sdl/sdl_types.h"
#include "platform/sdl/text.h"

namespace pelorin::sdl {

inline constexpr Color WHITE{255, 255, 255};
inline constexpr Color LIGHT{227, 227, 227};
inline constexpr Color SHADOW{128, 128, 128};
inline constexpr Color DARK_SHADOW{64, 64, 64};
inline constexpr Color BLACK{0, 0, 0};

// The classic controls' borders are two pixels wide.
inline constexpr int BORDER = 2;

SDL_Rect Inset(const SDL_Rect& rect, int by);

// One window's renderer with what everything drawn in it is made of: rectangles, the classic 3D
// edges and button faces, text, and nested clipping.
class Canvas {
public:
    Canvas(SDL_Renderer& renderer, Fonts& fonts);

    Fonts& GetFonts() { return fonts; }
    // Clears the whole window to a colour and drops any clipping.
    void Clear(Color color);
    // Shows what was drawn.
    void Present();

    void Fill(const SDL_Rect& rect, Color color);
    void Outline(const SDL_Rect& rect, Color color);
    // The two-pixel 3D edges of the classic controls.
    void Raised(const SDL_Rect& rect);
    void Sunken(const SDL_Rect& rect);
    void DottedOutline(const SDL_Rect& rect);
    // A button's face with its caption centred; the focused (default) one framed in black.
    void ButtonFace(const SDL_Rect& rect, const std::string& caption, TTF_Font& font, bool focused);
    // Filled triangles, three vertices each.
    void Triangles(const std::vector<SDL_Vertex>& vertices);

    // Text at a point, its top-left corner there.
    void Text(TTF_Font& font, std::string_view utf8, int x, int y, Color color);
    int TextWidth(TTF_Font& font, std::string_view utf8);
    // Display text broken into lines no wider than the width.
    std::vector<std::string> Wrap(TTF_Font& font, std::string_view displayText, int width);

    // Clipping that nests: each pushed rectangle is cut to the one before.
    void PushClip(const SDL_Rect& rect);
    void PopClip();

private:
    // Two-pixel edges: the top and left lines lit, the bottom and right ones dark.
    void Bevel(const SDL_Rect& rect, Color outerLit, Color outerDark, Color innerLit, Color innerDark);

    SDL_Renderer& renderer;
    Fonts& fonts;
    TextCache cache;
    std::vector<SDL_Rect> clips;
};

}  // namespace pelorin::sdl
