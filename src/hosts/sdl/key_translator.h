#pragma once

#include <string_view>
#include <vector>

#include "hosts/sdl/sdl_types.h"
#include "ui/host.h"

namespace pelorin::sdl {

// Old Windows virtual-key codes the screens compare key-downs against, beyond the core's.
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

// The virtual-key code of an SDL key, or 0 for a key the screens have no code for.
int VirtualKey(SDL_Keycode key);
// SHIFT_MASK, CTRL_MASK and ALT_MASK of SDL's modifier state.
int ShiftState(Uint16 mod);

// Turns the window system's key-downs and typed text into the KeyDown and KeyPress events the screens
// take. The window system types text only for printable keys and marks only its key-downs as
// repeated, so Enter, Esc and Backspace get their KeyPress here and typed text inherits the repeat
// state of the key-down it came from.
class KeyTranslator {
public:
    std::vector<InputEvent> KeyDown(const SDL_KeyboardEvent& key);
    std::vector<InputEvent> Text(std::string_view utf8);

    // A message box took this key-down: the text it types is dropped, and so is the key held down
    // after it, so that keeping the answering key down does not type into the screen beneath.
    void TakenByMessageBox(const SDL_KeyboardEvent& key);

private:
    bool lastRepeat = false;
    bool dropText = false;
    int heldByMessageBox = 0;
};

}  // namespace pelorin::sdl
