#include "hosts/sdl/text.h"

#include <cmath>
#include <vector>

#include "hosts/sdl/font_files.h"

namespace pelorin::sdl {

namespace {

constexpr size_t KEPT_TEXTURES = 256;

}  // namespace

Fonts::Fonts(float dpi) : dpi(dpi) {
    FontFiles files = FindFontFiles();
    regularPath = files.regular;
    boldPath = files.bold;
    if (regularPath.empty()) throw StartError("cannot find the font DejaVu Sans (" + files.whereFrom + ")");
    if (boldPath.empty()) boldPath = regularPath;
}

int Fonts::Scaled(int pixelsAt96) const {
    return static_cast<int>(std::lround(static_cast<float>(pixelsAt96) * dpi / BASE_DPI));
}

TTF_Font& Fonts::Get(float points, bool bold) {
    int pixels = std::max(1, static_cast<int>(std::lround(points * dpi / 72.0f)));
    auto key = std::make_pair(pixels, bold);
    auto found = fonts.find(key);
    if (found != fonts.end()) return *found->second;
    // SDL_ttf sizes at 72 dpi, where a point is a pixel.
    FontPtr font(TTF_OpenFont((bold ? boldPath : regularPath).c_str(), pixels));
    if (!font) throw StartError(std::string("cannot open the font: ") + TTF_GetError());
    // Kerning off, so that a line measures what the sum of its glyphs' advances says.
    TTF_SetFontKerning(font.get(), 0);
    fontIds[font.get()] = static_cast<uint32_t>(fontIds.size());
    return *fonts.emplace(key, std::move(font)).first->second;
}

int Fonts::Advance(TTF_Font& font, char32_t codePoint) {
    uint64_t key = uint64_t{fontIds[&font]} << 32 | codePoint;
    auto found = advances.find(key);
    if (found != advances.end()) return found->second;
    int advance = 0;
    if (TTF_GlyphMetrics32(&font, codePoint, nullptr, nullptr, nullptr, nullptr, &advance) != 0) advance = 0;
    advances.emplace(key, advance);
    return advance;
}

TextImage TextCache::Get(TTF_Font& font, std::string_view utf8, Color color) {
    if (utf8.empty()) return {};
    std::string key;
    key.reserve(utf8.size() + 24);
    const TTF_Font* fontAddress = &font;
    key.append(reinterpret_cast<const char*>(&fontAddress), sizeof fontAddress);
    key += static_cast<char>(color.r);
    key += static_cast<char>(color.g);
    key += static_cast<char>(color.b);
    key.append(utf8);
    auto found = entries.find(key);
    if (found == entries.end()) {
        std::string text(utf8);
        SurfacePtr surface(TTF_RenderUTF8_Blended(&font, text.c_str(), SDL_Color{color.r, color.g, color.b, 255}));
        if (!surface) return {};
        Entry entry;
        entry.texture.reset(SDL_CreateTextureFromSurface(&renderer, surface.get()));
        if (!entry.texture) return {};
        entry.width = surface->w;
        entry.height = surface->h;
        found = entries.emplace(std::move(key), std::move(entry)).first;
    }
    found->second.usedInFrame = frame;
    return {found->second.texture.get(), found->second.width, found->second.height};
}

void TextCache::EndFrame() {
    if (entries.size() > KEPT_TEXTURES) {
        std::erase_if(entries, [this](const auto& entry) { return entry.second.usedInFrame != frame; });
    }
    ++frame;
}

}  // namespace pelorin::sdl
