#include "x11_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace pelorin::bench {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

}  // namespace

struct KeyInjector::Connection {
    DisplayPtr display{XOpenDisplay(nullptr)};
};

KeyInjector::KeyInjector() : connection(std::make_unique<Connection>()) {}
KeyInjector::~KeyInjector() = default;

bool KeyInjector::Open() const {
    int event, error, major, minor;
    return connection->display &&
           XTestQueryExtension(connection->display.get(), &event, &error, &major, &minor) == True;
}

void KeyInjector::Press(char letter) {
    Display* display = connection->display.get();
    KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(letter));
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XFlush(display);
}

void KeyInjector::Release(char letter) {
    Display* display = connection->display.get();
    KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(letter));
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
}

struct RootPixels::Connection {
    DisplayPtr display{XOpenDisplay(nullptr)};
};

RootPixels::RootPixels() : connection(std::make_unique<Connection>()) {}
RootPixels::~RootPixels() = default;

bool RootPixels::Open() const { return connection->display != nullptr; }
int RootPixels::Width() const { return DisplayWidth(connection->display.get(), 0); }
int RootPixels::Height() const { return DisplayHeight(connection->display.get(), 0); }

long RootPixels::Pixel(int x, int y) {
    Display* display = connection->display.get();
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return -1;
    long pixel = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
    return pixel;
}

}  // namespace pelorin::bench
