// DejaVu Sans found through fontconfig, as installed by Debian's fonts-dejavu-core.
#include "hosts/sdl/font_files.h"

#include <fontconfig/fontconfig.h>

#include <filesystem>
#include <memory>

namespace pelorin::sdl {

namespace {

constexpr const char* FAMILY = "DejaVu Sans";
constexpr const char* REGULAR_FALLBACK = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* BOLD_FALLBACK = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

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

FontFiles FindFontFiles() {
    std::unique_ptr<FcConfig, FcConfigDeleter> config(FcInitLoadConfigAndFonts());
    FontFiles files;
    files.regular = Existing(FindFace(config.get(), false), REGULAR_FALLBACK);
    files.bold = Existing(FindFace(config.get(), true), BOLD_FALLBACK);
    files.whereFrom = "Debian package fonts-dejavu-core";
    return files;
}

}  // namespace pelorin::sdl
