#include "hosts/sdl/displays.h"

#include <optional>

#include "hosts/sdl/sdl_types.h"
#include "hosts/sdl/system_display.h"

namespace pelorin::sdl {

void SetVideoHints() {
    // Ctrl+C and kill end the program as usual instead of arriving as a close request.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A vsync'd present would hold the one thread for a whole frame.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    // The full-screen window stays when the debug window or another program takes the keyboard.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // The software renderer's frames go to the window directly, not through an OpenGL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // On Windows' scaled displays (150% on many 4K lab monitors) the window covers the real pixels
    // instead of being stretched by the system, and each monitor's DPI can be asked; elsewhere the
    // hint is not read.
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
}

std::vector<DisplayInfo> ListDisplays() {
    std::optional<Video> video;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        SetVideoHints();
        video.emplace();
    }
    std::vector<DisplayInfo> displays;
    int count = SDL_GetNumVideoDisplays();
    if (count < 1) throw StartError(std::string("no display: ") + SDL_GetError());
    for (int number = 0; number < count; ++number) {
        DisplayInfo display;
        display.number = number;
        const char* name = SDL_GetDisplayName(number);
        display.name = name != nullptr ? name : "";
        SDL_Rect bounds{};
        if (SDL_GetDisplayBounds(number, &bounds) == 0) {
            display.left = bounds.x;
            display.top = bounds.y;
            display.width = bounds.w;
            display.height = bounds.h;
        }
        SDL_DisplayMode mode{};
        if (SDL_GetDesktopDisplayMode(number, &mode) == 0) display.refreshHz = mode.refresh_rate;
        ReadDisplayDpi(display);
        ReadDisplaySize(display);
        displays.push_back(display);
    }
    return displays;
}

std::optional<PictureSize> EdidPictureSize(std::string_view edid) {
    constexpr std::string_view HEADER("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8);
    if (edid.size() < 128 || !edid.starts_with(HEADER)) return std::nullopt;
    auto byte = [&](size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(edid[at])); };
    // The first detailed timing (a pixel clock that is not 0) holds the size to the millimetre.
    if (byte(54) != 0 || byte(55) != 0) {
        unsigned width = byte(66) | (byte(68) & 0xF0) << 4;
        unsigned height = byte(67) | (byte(68) & 0x0F) << 8;
        if (width > 0 && height > 0) return PictureSize{double(width), double(height)};
    }
    if (byte(21) > 0 && byte(22) > 0) return PictureSize{byte(21) * 10.0, byte(22) * 10.0};
    return std::nullopt;
}

}  // namespace pelorin::sdl
