#include "platform/sdl/text.h"

#include <fontconfig/fontconfig.h>

#include <cmath>
#include <filesystem>
#include <vector>

namespace pelorin::sdl {

namespace {

constexpr const char* FAMILY = "DejaVu Sans";
constexpr const char* REGULAR_FALLBACK = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* BOLD_FALLBACK = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr size_t KEPT_TEXTURES = 256;

struct FcConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};
struct FcPatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using FcPatternPtr = std::unique_ptr<FcPattern, FcPatternDeleter>;

// The file of the family's face of that weight, or "" when fontconfig knows none.
std::string FindFace(FcConfig* config, bool bold) {
    if (config == nullptr) return {};
    FcPatternPtr pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(FAMILY));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcPatternPtr match(FcFontMatch(config, pattern.get(), &result));
    if (!match) return {};
    FcChar8* family = nullptr;
    FcChar8* file = nullptr;
    int weight = 0;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch ||
        FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) {
        return {};
    }
    // fontconfig answers with some other family when this one is missing.
    if (std::string(reinterpret_cast<const char*>(family)) != FAMILY) return {};
    FcPatternGetInteger(match.get(), FC_WEIGHT, 0, &weight);
    if (bold != (weight >= FC_WEIGHT_BOLD)) return {};
    return reinterpret_cast<const char*>(file);
}

std::string Existing(const std::string& found, const char* fallback) {
    if (!found.empty()) return found;
    return std::filesystem::exists(fallback) ? fallback : "";
}

}  // namespace

Fonts::Fonts() {
    std::unique_ptr<FcConfig, FcConfigDeleter> config(FcInitLoadConfigAndFonts());
    regularPath = Existing(FindFace(config.get(), false), REGULAR_FALLBACK);
    boldPath = Existing(FindFace(config.get(), true), BOLD_FALLBACK);
    if (regularPath.empty()) throw StartError("cannot find the font DejaVu Sans (Debian package fonts-dejavu-core)");
    if (boldPath.empty()) boldPath = regularPath;
}

TTF_Font& Fonts::Get(float points, bool bold) {
    int pixels = std::max(1, static_cast<int>(std::lround(points * 96.0f / 72.0f)));
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
