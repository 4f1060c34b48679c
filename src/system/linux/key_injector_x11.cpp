#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "measure/key_injector.h"

namespace pelorin::measure {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

void Send(Display* display, char letter, bool press) {
    KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(letter));
    // A layout without the letter (Greek, Russian) has no key for it: sending key 0 would be an X
    // error that ends the program. The key is then lost, and the check says so.
    if (code == 0) return;
    XTestFakeKeyEvent(display, code, press ? True : False, CurrentTime);
    XFlush(display);
}

}  // namespace

struct KeyInjector::Connection {
    std::unique_ptr<Display, DisplayCloser> display{XOpenDisplay(nullptr)};
};

KeyInjector::KeyInjector() : connection(std::make_unique<Connection>()) {}
KeyInjector::~KeyInjector() = default;

bool KeyInjector::Open() const {
    int event, error, major, minor;
    return connection->display &&
           XTestQueryExtension(connection->display.get(), &event, &error, &major, &minor) == True;
}

void KeyInjector::Press(char letter) { Send(connection->display.get(), letter, true); }
void KeyInjector::Release(char letter) { Send(connection->display.get(), letter, false); }

}  // namespace pelorin::measure
