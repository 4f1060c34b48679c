// Types keys through the X server's test extension at set times and says when each went out, so that a
// real-window test can set them against the rows the program wrote for them.
//   key_typist MS:KEY...   MS from the start, KEY one character
// Prints one line per key, "MICROS KEY", MICROS on the monotonic clock when the press was sent.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int64_t MonotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

void SleepUntil(int64_t micros) {
    timespec until{static_cast<time_t>(micros / 1'000'000), static_cast<long>(micros % 1'000'000) * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    int event, error, major, minor;
    if (display == nullptr || XTestQueryExtension(display, &event, &error, &major, &minor) != True) {
        std::fprintf(stderr, "key_typist: no X display with the test extension\n");
        return 1;
    }
    int64_t start = MonotonicMicros();
    for (int i = 1; i < argc; ++i) {
        std::string item = argv[i];
        size_t colon = item.find(':');
        if (colon == std::string::npos || colon + 2 != item.size()) {
            std::fprintf(stderr, "key_typist: not MS:KEY: %s\n", argv[i]);
            return 2;
        }
        KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(item[colon + 1]));
        SleepUntil(start + std::atoll(item.c_str()) * 1000);
        int64_t sent = MonotonicMicros();
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XFlush(display);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
        std::printf("%lld %c\n", static_cast<long long>(sent), item[colon + 1]);
    }
    XCloseDisplay(display);
    return 0;
}
