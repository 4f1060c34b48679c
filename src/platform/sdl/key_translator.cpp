#include "platform/sdl/key_translator.h"

#include "platform/sdl/text_layout.h"

namespace pelorin::sdl {

namespace {

InputEvent MakeKeyDown(int virtualKey, int shift, bool repeat) {
    InputEvent event;
    event.kind = InputEvent::Kind::KeyDown;
    event.keyCode = virtualKey;
    event.shift = shift;
    event.repeat = repeat;
    return event;
}

InputEvent MakeKeyPress(int16_t keyAscii, bool repeat) {
    InputEvent event;
    event.kind = InputEvent::Kind::KeyPress;
    event.keyAscii = keyAscii;
    event.repeat = repeat;
    return event;
}

}  // namespace

std::vector<InputEvent> KeyTranslator::KeyDown(int virtualKey, int shift, bool repeat) {
    lastRepeat = repeat;
    dropText = false;
    if (!repeat) heldByMessageBox = 0;
    if (repeat && heldByMessageBox != 0 && virtualKey == heldByMessageBox) {
        dropText = true;
        return {};
    }
    if (virtualKey == 0) return {};
    std::vector<InputEvent> events{MakeKeyDown(virtualKey, shift, repeat)};
    // These keys type no text; their character codes come with the key-down, as Windows sends them.
    if (virtualKey == KEY_RETURN || virtualKey == KEY_ESCAPE || virtualKey == KEY_BACK) {
        events.push_back(MakeKeyPress(static_cast<int16_t>(virtualKey), repeat));
    }
    return events;
}

std::vector<InputEvent> KeyTranslator::Text(std::string_view utf8) {
    if (dropText) return {};
    std::vector<InputEvent> events;
    for (char32_t codePoint : DecodeUtf8(utf8)) {
        // Character codes are one byte, Latin-1 like the ANSI code page; other characters type nothing.
        if (codePoint < 32 || codePoint == 127 || codePoint > 255) continue;
        events.push_back(MakeKeyPress(static_cast<int16_t>(codePoint), lastRepeat));
    }
    return events;
}

void KeyTranslator::TakenByMessageBox(int virtualKey, bool repeat) {
    lastRepeat = repeat;
    dropText = true;
    if (!repeat) heldByMessageBox = virtualKey;
}

std::vector<char32_t> DecodeUtf8(std::string_view utf8) {
    std::vector<char32_t> codePoints;
    size_t at = 0;
    while (at < utf8.size()) {
        char32_t codePoint = 0;
        size_t length = Utf8Next(utf8, at, codePoint);
        codePoints.push_back(length == 0 ? U'\uFFFD' : codePoint);
        at += length == 0 ? 1 : length;
    }
    return codePoints;
}

}  // namespace pelorin::sdl
