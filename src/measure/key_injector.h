#pragma once

#include <memory>

namespace pelorin::measure {

// Types keys as a keyboard would, through the system's own input path: XTest on a connection of its
// own to the X server, SendInput on Windows. One file per system (linux/key_injector_x11.cpp,
// win32/key_injector_win32.cpp).
class KeyInjector {
public:
    KeyInjector();
    ~KeyInjector();
    KeyInjector(const KeyInjector&) = delete;
    KeyInjector& operator=(const KeyInjector&) = delete;

    bool Open() const;
    // Sends the key's press (a lower-case letter) and returns once it has gone to the system.
    void Press(char letter);
    void Release(char letter);

private:
    struct Connection;
    std::unique_ptr<Connection> connection;
};

}  // namespace pelorin::measure
