#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/sdl/damage.h"
#include "hosts/sdl/sdl_types.h"
#include "hosts/sdl/text.h"
#include "ui/control.h"

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
//
// A frame can be recorded instead of drawn: every drawing call then only adds its arguments and the
// pixels it covers to the item (a control, the screen's face, a message box) being drawn, so that a
// frame can be set beside the last one. Drawing can be bounded to a rectangle of the window: every
// call is clipped to it, and one that cannot reach it is skipped.
class Canvas {
public:
    Canvas(SDL_Renderer& renderer, Fonts& fonts);

    Fonts& GetFonts() { return fonts; }
    // Clears the whole window, or its bounds, to a colour and drops any clipping.
    void Clear(Color color);
    // Shows what was drawn.
    void Present();
    // Shows what was drawn in these rectangles of the window only. Only the software renderer, which
    // draws into the window's own pixels, can; see CanPresentParts.
    void PresentParts(SDL_Window& window, const std::vector<SDL_Rect>& rects);
    bool CanPresentParts() const { return partsPresentable; }
    // Ends a frame drawn into the window's own pixels that another part sends to the display.
    void FinishFrame();
    // The size of the window drawn into.
    SDL_Rect Whole() const;

    // Records the drawing calls that follow, item by item, without drawing.
    void StartRecording();
    std::vector<DrawnItem> StopRecording();
    // The drawing calls that follow, until the next, belong to this item.
    void BeginItem(const void* key);
    // Bounds every drawing call to a rectangle, or to nothing but the window (nullopt).
    void SetBounds(std::optional<SDL_Rect> rect);

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
    // Notes a drawing call covering `rect` (before clipping) with its arguments; false when it is
    // not to be drawn: while recording, or when it cannot reach the bounds.
    bool Note(char kind, const SDL_Rect& rect, Color color, std::string_view more = {}, std::string_view andMore = {});
    // Hands the renderer the clipping of the pushed rectangles cut to the bounds.
    void ApplyClip();

    SDL_Renderer& renderer;
    Fonts& fonts;
    TextCache cache;
    std::vector<SDL_Rect> clips;
    std::optional<SDL_Rect> bounds;
    bool partsPresentable = false;
    bool recording = false;
    std::vector<DrawnItem> items;
    // Drawing calls in the item being recorded.
    int callsInItem = 0;
};

// A window's frames, each drawn only where it differs from the one before: `paint` draws the whole
// frame, item by item, and is run once to record it and once for each rectangle that changed.
class PartialDrawing {
public:
    // Draws the frame; returns the rectangles drawn, none when nothing changed. `whole` draws all
    // of it, as does a window whose size changed.
    std::vector<SDL_Rect> Draw(Canvas& canvas, bool whole, const std::function<void()>& paint);

private:
    std::vector<DrawnItem> items;
    SDL_Rect size{};
};

}  // namespace pelorin::sdl
