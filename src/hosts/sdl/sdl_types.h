#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace pelorin::sdl {

// Owners of SDL's objects: each is destroyed with SDL's own function.
struct SdlDeleter {
    void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
    void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
    void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
    void operator()(TTF_Font* font) const { TTF_CloseFont(font); }
};

using WindowPtr = std::unique_ptr<SDL_Window, SdlDeleter>;
using RendererPtr = std::unique_ptr<SDL_Renderer, SdlDeleter>;
using TexturePtr = std::unique_ptr<SDL_Texture, SdlDeleter>;
using SurfacePtr = std::unique_ptr<SDL_Surface, SdlDeleter>;
using FontPtr = std::unique_ptr<TTF_Font, SdlDeleter>;

// The program cannot start: no display, no window, no font.
class StartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One SDL subsystem, initialised for the owner's lifetime.
class Subsystem {
public:
    explicit Subsystem(Uint32 flags) : flags(flags) {
        if (SDL_InitSubSystem(flags) != 0) throw StartError(std::string("SDL cannot start: ") + SDL_GetError());
    }
    ~Subsystem() { SDL_QuitSubSystem(flags); }
    Subsystem(const Subsystem&) = delete;
    Subsystem& operator=(const Subsystem&) = delete;

private:
    Uint32 flags;
};

// SDL's video, on a display that a person can see.
class Video {
public:
    Video() {
        // With no display SDL falls back to drivers that draw nowhere; a run nobody sees must not start.
        const char* driver = SDL_GetCurrentVideoDriver();
        std::string name = driver != nullptr ? driver : "";
        if (name.empty() || name == "offscreen" || name == "dummy") {
            throw StartError("no display to open a window on (is DISPLAY set?)");
        }
    }

private:
    Subsystem subsystem{SDL_INIT_VIDEO};
};

// SDL_ttf, initialised for the owner's lifetime.
class TtfLibrary {
public:
    TtfLibrary() {
        if (TTF_Init() != 0) throw StartError(std::string("cannot start the font renderer: ") + TTF_GetError());
    }
    ~TtfLibrary() { TTF_Quit(); }
    TtfLibrary(const TtfLibrary&) = delete;
    TtfLibrary& operator=(const TtfLibrary&) = delete;
};

}  // namespace pelorin::sdl
