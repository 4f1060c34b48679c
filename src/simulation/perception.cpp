#include "simulation/perception.h"

#include "hosts/headless/headless_host.h"

namespace pelorin {

int ToneStarted(std::string_view what) {
    static constexpr std::string_view TONES[] = {"sound wave/200.wav", "sound wave/500.wav", "sound wave/800.wav"};
    for (int tone = 0; tone < 3; ++tone) {
        if (what == TONES[tone]) return tone;
    }
    return -1;
}

char LetterShown(std::string_view what) {
    // A label's entry ends with its caption in quotes: a letter is one character between them.
    size_t quote = what.find('"');
    if (quote == std::string_view::npos || what.size() != quote + 3) return 0;
    char letter = what[quote + 1];
    return letter >= 'A' && letter <= 'C' ? letter : 0;
}

void PressKey(HeadlessHost& host, int64_t atMillis, char key) {
    host.Schedule(atMillis, InputEvent::KeyPress(static_cast<int16_t>(key)));
}

}  // namespace pelorin
