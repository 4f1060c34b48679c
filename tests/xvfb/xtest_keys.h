#pragma once

#include <memory>

namespace pelorin::test {

// Types keys into the X display of DISPLAY through its test extension, on a connection of its own, as
// another program's keys reach the display. Apart from the tests that use it, so that X's macros
// (KeyPress, None, ...) stay out of them.
class XTestKeys {
public:
    // Throws std::runtime_error when there is no display with the test extension.
    XTestKeys();
    ~XTestKeys();
    XTestKeys(const XTestKeys&) = delete;
    XTestKeys& operator=(const XTestKeys&) = delete;

    // Presses and releases the key of one character, and returns once the server has taken both.
    void Type(char key);

private:
    struct Connection;
    std::unique_ptr<Connection> connection;
};

}  // namespace pelorin::test
