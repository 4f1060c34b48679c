#include "hosts/sdl/key_translator.h"

#include "hosts/sdl/text_layout.h"

namespace pelorin::sdl {

namespace {

// Decodes UTF-8 into code points; a byte that starts no valid sequence gives U+FFFD and is skipped.
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

}  // namespace

int VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 112 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 97 + (key - SDLK_KP_1);
    switch (key) {
    case SDLK_BACKSPACE: return KEY_BACK;
    case SDLK_TAB: return KEY_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return KEY_RETURN;
    case SDLK_ESCAPE: return KEY_ESCAPE;
    case SDLK_SPACE: return KEY_SPACE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_KP_0: return 96;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return 0;
    }
}

int ShiftState(Uint16 mod) {
    int shift = 0;
    if ((mod & KMOD_SHIFT) != 0) shift |= SHIFT_MASK;
    if ((mod & KMOD_CTRL) != 0) shift |= CTRL_MASK;
    if ((mod & KMOD_ALT) != 0) shift |= ALT_MASK;
    return shift;
}

std::vector<InputEvent> KeyTranslator::KeyDown(const SDL_KeyboardEvent& key) {
    int virtualKey = VirtualKey(key.keysym.sym);
    bool repeat = key.repeat != 0;
    lastRepeat = repeat;
    dropText = false;
    if (!repeat) heldByMessageBox = 0;
    if (repeat && heldByMessageBox != 0 && virtualKey == heldByMessageBox) {
        dropText = true;
        return {};
    }
    if (virtualKey == 0) return {};
    std::vector<InputEvent> events{InputEvent::KeyDown(virtualKey, ShiftState(key.keysym.mod), repeat)};
    // These keys type no text; their character codes come with the key-down, as Windows sends them.
    if (virtualKey == KEY_RETURN || virtualKey == KEY_ESCAPE || virtualKey == KEY_BACK) {
        events.push_back(InputEvent::KeyPress(static_cast<int16_t>(virtualKey), repeat));
    }
    return events;
}

std::vector<InputEvent> KeyTranslator::Text(std::string_view utf8) {
    if (dropText) return {};
    std::vector<InputEvent> events;
    for (char32_t codePoint : DecodeUtf8(utf8)) {
        // Character codes are one byte, Latin-1 like the ANSI code page; other characters type nothing.
        if (codePoint < 32 || codePoint == 127 || codePoint > 255) continue;
        events.push_back(InputEvent::KeyPress(static_cast<int16_t>(codePoint), lastRepeat));
    }
    return events;
}

void KeyTranslator::TakenByMessageBox(const SDL_KeyboardEvent& key) {
    lastRepeat = key.repeat != 0;
    dropText = true;
    if (!lastRepeat) heldByMessageBox = VirtualKey(key.keysym.sym);
}

}  // namespace pelorin::sdl
