#include "xtest_keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>

namespace pelorin::test {

struct XTestKeys::Connection {
    Display* display = nullptr;
};

XTestKeys::XTestKeys() : connection(std::make_unique<Connection>()) {
    connection->display = XOpenDisplay(nullptr);
    int event, error, major, minor;
    if (connection->display == nullptr ||
        XTestQueryExtension(connection->display, &event, &error, &major, &minor) != True) {
        if (connection->display != nullptr) XCloseDisplay(connection->display);
        throw std::runtime_error("no X display with the test extension");
    }
}

XTestKeys::~XTestKeys() { XCloseDisplay(connection->display); }

void XTestKeys::Type(char key) {
    const KeyCode code = XKeysymToKeycode(connection->display, static_cast<KeySym>(key));
    XTestFakeKeyEvent(connection->display, code, True, CurrentTime);
    XTestFakeKeyEvent(connection->display, code, False, CurrentTime);
    XSync(connection->display, False);
}

}  // namespace pelorin::test
