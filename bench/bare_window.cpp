// The least an SDL program does to show something: opens a borderless window over the display,
// presents one frame in the screens' grey, and waits to be ended. The start-up figure of the
// benchmark sets Pelorin beside it, so it draws as Pelorin does: SDL's software renderer, straight
// to the window.
#include <SDL.h>

int main() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("bare", 0, 0, mode.w, mode.h, SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_Renderer* renderer = window != nullptr ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    if (renderer == nullptr) return 1;
    SDL_SetRenderDrawColor(renderer, 212, 208, 200, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    for (;;) SDL_WaitEvent(nullptr);
}
