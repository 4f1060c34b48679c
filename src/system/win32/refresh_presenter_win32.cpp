// Windows: no refresh's stamp is taken yet; the window is presented at the call, and its letters'
// onsets say so.
#include "hosts/sdl/refresh_presenter.h"

namespace pelorin::sdl {

std::unique_ptr<RefreshPresenter> RefreshPresenter::Open(SDL_Window*) { return nullptr; }

}  // namespace pelorin::sdl
