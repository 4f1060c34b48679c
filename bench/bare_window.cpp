// The least an SDL program does to show something: opens a borderless window over the display,
// presents one frame in the screens' grey, and waits to be ended. The start-up figure of the
// benchmark sets Pelorin beside it, so it draws as Pelorin does: SDL's software renderer, straight
// to the window.
//
//   bare_window --present-for MILLIS
//
// The idle block's floor: the same window, an SDL audio device of the SDL output's format and buffer
// (44.1 kHz, 16-bit stereo, 512 frames) playing silence, and one frame presented every 35 ms, 28.6 a
// second, in which a bar grows by two rows of pixels and only those are sent to the display. After
// MILLIS it prints its CPU time over them as "cpu.floor PERCENT" (of one core) and ends.
// Its own main on every system: no SDL_main.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "measure/process_times.h"

namespace {

void SDLCALL Silence(void*, Uint8* stream, int len) { std::memset(stream, 0, static_cast<size_t>(len)); }

int PresentFor(SDL_Window* window, int millis) {
    SDL_AudioSpec wanted{};
    wanted.freq = 44100;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = 512;
    wanted.callback = &Silence;
    SDL_AudioDeviceID audio = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (audio != 0) SDL_PauseAudioDevice(audio, 0);
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr) return 1;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 212, 208, 200));
    SDL_UpdateWindowSurface(window);
    const Uint32 blue = SDL_MapRGB(surface->format, 0, 0, 255);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(millis);
    const double cpuBefore = pelorin::measure::ProcessCpuSeconds();
    int height = 0;
    for (auto next = start + std::chrono::milliseconds(35); next < end; next += std::chrono::milliseconds(35)) {
        for (auto now = Clock::now(); now < next; now = Clock::now()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, static_cast<int>(left)) != 0 && event.type == SDL_QUIT) return 0;
        }
        height = (height + 2) % (surface->h / 2);
        SDL_Rect rows{surface->w / 3, surface->h - height - 2, surface->w / 20, 2};
        SDL_FillRect(surface, &rows, blue);
        SDL_UpdateWindowSurfaceRects(window, &rows, 1);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("cpu.floor %.6f\n", 100.0 * (pelorin::measure::ProcessCpuSeconds() - cpuBefore) / wall);
    std::fflush(stdout);
    if (audio != 0) SDL_CloseAudioDevice(audio);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int presentFor = 0;
    if (argc == 3 && std::string(argv[1]) == "--present-for") presentFor = std::atoi(argv[2]);
    SDL_SetMainReady();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO | (presentFor > 0 ? SDL_INIT_AUDIO : 0)) != 0) return 1;
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("bare", 0, 0, mode.w, mode.h, SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (window == nullptr) return 1;
    if (presentFor > 0) return PresentFor(window, presentFor);
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) return 1;
    SDL_SetRenderDrawColor(renderer, 212, 208, 200, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    for (;;) SDL_WaitEvent(nullptr);
}
