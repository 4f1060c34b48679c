#pragma once

#include <cstdint>
#include <vector>

#include "hosts/sdl/sdl_types.h"

namespace pelorin::sdl {

// What one item of a frame (the screen's face, a control, a message box) drew: a digest of every
// drawing call it made, with the calls' arguments and clipping, and the pixels those calls covered.
// Two items with the same key and digest drew the same pixels.
struct DrawnItem {
    const void* key = nullptr;
    uint64_t digest = 0;
    SDL_Rect extent{};
    // Set when the item was one opaque rectangle, the extent, and nothing else, such as a bar.
    bool oneFill = false;
    uint32_t fillColor = 0;
};

// The rectangles of a window that must be drawn again to turn the frame `before` into `now`: every
// item that appeared, went or changed, at its old and its new place; a rectangle of one colour that
// moved or grew only where its old and new places differ. Overlapping or nearby rectangles are
// merged; when they would cover most of the window, or the items changed order, the whole window is
// returned.
std::vector<SDL_Rect> Damage(const std::vector<DrawnItem>& before, const std::vector<DrawnItem>& now,
                             const SDL_Rect& window);

// The smallest rectangle holding both; an empty one adds nothing.
SDL_Rect Bounds(const SDL_Rect& a, const SDL_Rect& b);
// The parts of `a` outside `b`, as up to four rectangles.
std::vector<SDL_Rect> Subtract(const SDL_Rect& a, const SDL_Rect& b);

}  // namespace pelorin::sdl
