// The real host's wait on an X display: asleep until input comes, woken by a key at once, and never
// back before its deadline when nothing comes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/runtime.h"
#include "platform/sdl/sdl_host.h"

namespace pelorin::sdl {
namespace {

TEST(SdlWaitTest, SleepsToItsDeadlineUnlessAKeyComesFirst) {
    SdlHost host;
    Runtime runtime(host);
    // No input: back at the deadline, not before; twice, so that the window's own events are done.
    for (int i = 0; i < 2; ++i) {
        int64_t deadline = host.NowMicros() + 200'000;
        host.WaitForInput(deadline);
        EXPECT_GE(host.NowMicros(), deadline);
        while (host.PollInput()) {
        }
    }

    // A key typed on the display ends a wait whose deadline is far off, and is the input waiting.
    std::thread typist([] { EXPECT_EQ(std::system("xdotool key a"), 0); });
    int64_t farOff = host.NowMicros() + 20'000'000;
    host.WaitForInput(farOff);
    typist.join();
    EXPECT_LT(host.NowMicros(), farOff);
    bool typed = false;
    while (auto event = host.PollInput()) typed = typed || (event->kind == InputEvent::Kind::KeyPress && event->keyAscii == 'a');
    EXPECT_TRUE(typed);
}

}  // namespace
}  // namespace pelorin::sdl
