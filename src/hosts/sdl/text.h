#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "hosts/sdl/sdl_types.h"
#include "ui/control.h"
#include "ui/host.h"

namespace pelorin::sdl {

// DejaVu Sans stands in for "MS Sans Serif": one TTF_Font per pixel size and weight, opened on first
// use, with the advance of every glyph measured once. Sizes follow the display's DPI, so that text
// keeps its physical size on a scaled display.
class Fonts {
public:
    // Finds the regular and bold faces where the system keeps them (font_files.h).
    explicit Fonts(float dpi = BASE_DPI);

    float Dpi() const { return dpi; }
    float TwipsPerPixel() const { return TWIPS_PER_INCH / dpi; }
    // A length the drawing gives in pixels at 96 dpi, on this display.
    int Scaled(int pixelsAt96) const;

    // The font for a point size.
    TTF_Font& Get(float points, bool bold);
    TTF_Font& Get(const Font& font) { return Get(font.size, font.bold); }
    int Advance(TTF_Font& font, char32_t codePoint);
    int LineSkip(TTF_Font& font) { return TTF_FontLineSkip(&font); }

private:
    float dpi;
    std::string regularPath;
    std::string boldPath;
    std::map<std::pair<int, bool>, FontPtr> fonts;
    std::unordered_map<uint64_t, int> advances;
    std::unordered_map<const TTF_Font*, uint32_t> fontIds;
};

// A texture of text, and its size in pixels.
struct TextImage {
    SDL_Texture* texture = nullptr;
    int width = 0;
    int height = 0;
};

// Textures of rendered text for one renderer, kept while they are drawn and dropped when unused.
class TextCache {
public:
    explicit TextCache(SDL_Renderer& renderer) : renderer(renderer) {}

    // An empty image for empty text or text that cannot be rendered.
    TextImage Get(TTF_Font& font, std::string_view utf8, Color color);
    // Ends a frame: drops the textures it did not use once there are many.
    void EndFrame();

private:
    struct Entry {
        TexturePtr texture;
        int width = 0;
        int height = 0;
        uint64_t usedInFrame = 0;
    };

    SDL_Renderer& renderer;
    std::unordered_map<std::string, Entry> entries;
    uint64_t frame = 1;
};

}  // namespace pelorin::sdl
