#pragma once

#include <string_view>
#include <vector>

#include "platform/host.h"

namespace pelorin::sdl {

// Old Windows virtual-key codes the screens compare key-downs against.
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_MENU = 18;
inline constexpr int VK_PRIOR = 33;
inline constexpr int VK_NEXT = 34;
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;

// Turns the window system's key-downs and typed text into the KeyDown and KeyPress events the screens
// take. The window system types text only for printable keys and marks only its key-downs as
// repeated, so Enter, Esc and Backspace get their KeyPress here and typed text inherits the repeat
// state of the key-down it came from.
class KeyTranslator {
public:
    // virtualKey is 0 for a key the screens have no code for.
    std::vector<InputEvent> KeyDown(int virtualKey, int shift, bool repeat);
    std::vector<InputEvent> Text(std::string_view utf8);

    // A message box took this key-down: the text it types is dropped, and so is the key held down
    // after it, so that keeping the answering key down does not type into the screen beneath.
    void TakenByMessageBox(int virtualKey, bool repeat);

private:
    bool lastRepeat = false;
    bool dropText = false;
    int heldByMessageBox = 0;
};

// Decodes UTF-8 into code points; a byte that starts no valid sequence gives U+FFFD and is skipped.
std::vector<char32_t> DecodeUtf8(std::string_view utf8);

}  // namespace pelorin::sdl
