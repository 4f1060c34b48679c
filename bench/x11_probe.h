#pragma once

#include <memory>

// What the benchmark asks of the X server directly, behind a header free of X11's macros.
namespace pelorin::bench {

// Types keys as a keyboard would, through the X server (XTest), on a connection of its own.
class KeyInjector {
public:
    KeyInjector();
    ~KeyInjector();
    KeyInjector(const KeyInjector&) = delete;
    KeyInjector& operator=(const KeyInjector&) = delete;

    bool Open() const;
    // Sends the key's press to the server and returns once it has gone out.
    void Press(char letter);
    void Release(char letter);

private:
    struct Connection;
    std::unique_ptr<Connection> connection;
};

// Reads pixels of the root window, to see when a program has drawn its first frame.
class RootPixels {
public:
    RootPixels();
    ~RootPixels();
    RootPixels(const RootPixels&) = delete;
    RootPixels& operator=(const RootPixels&) = delete;

    bool Open() const;
    int Width() const;
    int Height() const;
    // The pixel as 0xRRGGBB, or -1 if it cannot be read.
    long Pixel(int x, int y);

private:
    struct Connection;
    std::unique_ptr<Connection> connection;
};

}  // namespace pelorin::bench
