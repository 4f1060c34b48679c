// The real host's wait on Windows (a waitable timer and the message queue), run under Wine on an X
// display: never back before its deadline when nothing comes, woken at once by an event another
// thread pushes and by a key typed on the display (tests/wine/wait.sh types it when asked).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "hosts/sdl/sdl_host.h"
#include "ui/runtime.h"

namespace pelorin::sdl {
namespace {

void Drain(SdlHost& host) {
    while (host.PollInput()) {
    }
}

TEST(WindowsWaitTest, SleepsToItsDeadlineUnlessInputComesFirst) {
    SdlHost host;
    Runtime runtime(host);
    // No input: back at the deadline, not before; the short ones are spun in the margin.
    for (int64_t micros : {200'000, 35'000, 25'000, 1'000, 35'000}) {
        int64_t deadline = host.NowMicros() + micros;
        host.WaitForInput(deadline);
        EXPECT_GE(host.NowMicros(), deadline) << micros;
        Drain(host);
    }

    // Input pushed by another thread ends a wait far off.
    std::thread pusher([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        event.text.text[0] = 'b';
        SDL_PushEvent(&event);
    });
    int64_t farOff = host.NowMicros() + 20'000'000;
    host.WaitForInput(farOff);
    pusher.join();
    EXPECT_LT(host.NowMicros(), farOff - 10'000'000);
    Drain(host);

    // A key typed on the display ends a wait far off, and is the input waiting.
    std::printf("waiting for a key\n");
    std::fflush(stdout);
    farOff = host.NowMicros() + 20'000'000;
    host.WaitForInput(farOff);
    EXPECT_LT(host.NowMicros(), farOff);
    bool typed = false;
    for (int64_t until = host.NowMicros() + 500'000; !typed && host.NowMicros() < until;) {
        while (auto event = host.PollInput()) {
            typed = typed || (event->kind == InputEvent::Kind::KeyPress && event->keyAscii == 'a');
        }
    }
    EXPECT_TRUE(typed);
}

}  // namespace
}  // namespace pelorin::sdl
