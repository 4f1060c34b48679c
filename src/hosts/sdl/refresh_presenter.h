#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hosts/sdl/sdl_types.h"

namespace pelorin::sdl {

// A frame the display showed: the refresh it began at (its count, MSC) and when, on the monotonic
// clock, the display says that refresh began (its UST). Not stamped: the display showed it but could
// not say at which refresh; it is told at its call.
struct ShownFrame {
    uint64_t serial = 0;
    uint64_t msc = 0;
    uint64_t targetMsc = 0;
    int64_t ustNanos = 0;
    bool stamped = true;
};

// Shows the window's pixels at the display's refresh, never torn, and hears back from the display at
// which refresh each frame began to show. The one thread that presents never waits for a refresh: a
// frame goes out at once, and its completion arrives later, read on a thread of the presenter's own
// that pushes an SDL event to wake the program's wait. The next frame's pixels are sent when the one
// before allows it: on X11 when it has been shown (its pixmap is free again then), under DWM when a
// composition has taken it.
// Each system's half lives in a file of its own (linux/refresh_presenter_x11.cpp: the X Present
// extension; win32/refresh_presenter_dwm.cpp: SDL's own present, timed by DWM's composition); Open
// gives null where the system gives no refresh's stamp, and the window is then presented as before,
// at the call (as it is when PELORIN_PRESENT_AT_CALL=1, for comparison).
class RefreshPresenter {
public:
    static std::unique_ptr<RefreshPresenter> Open(SDL_Window* window);
    virtual ~RefreshPresenter() = default;

    // Sends these rectangles of the window's surface (already drawn) to be shown at the next refresh;
    // the serial of the frame. Only when the frame before allows it (!Pending()).
    virtual uint64_t Present(SDL_Surface& surface, const std::vector<SDL_Rect>& rects) = 0;
    // A frame was sent that the next must wait for.
    virtual bool Pending() const = 0;
    // The frames shown since the last call, in order.
    virtual std::vector<ShownFrame> TakeShown() = 0;
    // Waits, for at most this long, until every frame sent has been shown; false if one has not.
    virtual bool AwaitShown(int64_t timeoutNanos) = 0;
    // A request failed (the window went, the server refused the pixmap): nothing more will be shown
    // through it, and the window goes back to being presented at the call.
    virtual bool Failed() const = 0;
    // The display's refresh period, from its stamps (the mean over the last refreshes); 0 before two.
    virtual int64_t RefreshNanos() const = 0;
    // What the stamps are, for the check's report: "X Present" and the like.
    virtual const char* StampName() const = 0;
};

}  // namespace pelorin::sdl
