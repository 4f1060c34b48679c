#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the benchmark asks of the X server directly, behind a header free of X11's macros (keys are
// typed through measure/key_injector.h).
namespace pelorin::bench {

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

// Watches a top-level window through the X server's damage extension, on a connection and a thread of
// its own, noting when each change of the window's pixels is announced: what an X client sees of a
// frame, as soon as the server has taken it.
class DamageWatcher {
public:
    explicit DamageWatcher(std::function<int64_t()> nowMicros);
    ~DamageWatcher();
    DamageWatcher(const DamageWatcher&) = delete;
    DamageWatcher& operator=(const DamageWatcher&) = delete;

    struct Damage {
        int64_t micros = 0;  // when the notification arrived, on the clock given
        int x = 0, y = 0, w = 0, h = 0;
    };

    // Starts watching the window with this title; false without the extension or the window.
    bool Start(const std::string& title);
    void Stop();
    std::vector<Damage> Events();

private:
    struct Connection;
    void Run();

    std::function<int64_t()> nowMicros;
    std::unique_ptr<Connection> connection;
    std::thread thread;
    std::atomic<bool> stop = false;
    std::mutex mutex;
    std::vector<Damage> events;
};

}  // namespace pelorin::bench
