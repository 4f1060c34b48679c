#pragma once

#include <functional>
#include <memory>

#include "hosts/sdl/composition_frames.h"
#include "hosts/sdl/refresh_presenter.h"

namespace pelorin::sdl {

// How the presenter hears from the compositor: waits for its next pass, and reads its timing (false
// when it does not answer). DWM's own in the program.
struct CompositorTiming {
    std::function<void()> awaitPass;
    std::function<bool(CompositionSample&)> read;
};

// The window presented through SDL and timed by the compositor, where the compositor answers as a
// display's does over a few of its passes (CompositionFrames::Answers), each made for a pixel of the
// window presented again; null where it does not.
std::unique_ptr<RefreshPresenter> OpenCompositedPresenter(SDL_Window* window, CompositorTiming timing);

}  // namespace pelorin::sdl
