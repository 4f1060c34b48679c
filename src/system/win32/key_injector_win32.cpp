#include <windows.h>

#include "measure/key_injector.h"

namespace pelorin::measure {

namespace {

// The letter's virtual key with its scan code, as a keyboard driver delivers it: the window gets
// the key-down and the character a typed key gives.
void Send(char letter, bool press) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    SHORT scanned = VkKeyScanW(static_cast<WCHAR>(letter));
    input.ki.wVk = static_cast<WORD>(scanned & 0xFF);
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(input.ki.wVk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = press ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

}  // namespace

struct KeyInjector::Connection {};

KeyInjector::KeyInjector() = default;
KeyInjector::~KeyInjector() = default;

bool KeyInjector::Open() const { return true; }
void KeyInjector::Press(char letter) { Send(letter, true); }
void KeyInjector::Release(char letter) { Send(letter, false); }

}  // namespace pelorin::measure
