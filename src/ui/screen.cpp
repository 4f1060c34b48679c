#include "ui/screen.h"

#include <algorithm>

#include "ui/control.h"
#include "ui/runtime.h"

namespace pelorin {

Screen::Screen(Runtime& runtime, std::string name, float designWidth, float designHeight, bool bordered)
    : runtime(runtime), name(std::move(name)), bordered(bordered), width(designWidth), height(designHeight) {
    runtime.AddScreen(this);
}

std::string Screen::Text(std::string_view key, std::initializer_list<TextValue> values) const {
    return runtime.texts.Get(key, values);
}

Screen::~Screen() { runtime.RemoveScreen(this); }

void Screen::AddControl(Control* control) { controls.push_back(control); }

void Screen::RemoveControl(Control* control) {
    std::erase(controls, control);
    if (focused == control) focused = nullptr;
}

void Screen::Move(float newLeft, float newTop, float newWidth, float newHeight) {
    bool resized = newWidth != width || newHeight != height;
    if (!resized && newLeft == left && newTop == top) return;
    left = newLeft;
    top = newTop;
    width = newWidth;
    height = newHeight;
    runtime.Changed();
    if (resized && loaded && shownOnce) Form_Resize();
}

void Screen::Load() {
    if (loaded) return;
    // Marked first, so a screen its own Form_Load reaches is not loaded twice.
    loaded = true;
    if (!bordered) {
        width = runtime.DisplayWidth();
        height = runtime.DisplayHeight();
    }
    Form_Load();
}

bool Screen::Unload() {
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel) return false;
    SetVisible(false);
    loaded = false;
    shownOnce = false;
    return true;
}

void Screen::SetVisible(bool value) {
    if (value) {
        Load();
        if (visible) return;
        visible = true;
        runtime.BringToFront(*this);
        // A screen is laid out when first shown, as a maximized window is.
        if (!shownOnce) {
            shownOnce = true;
            Form_Resize();
        }
    } else {
        if (!visible) return;
        visible = false;
        runtime.RemoveFromDisplay(*this);
    }
}

void Screen::Show() {
    Load();
    if (visible) {
        runtime.BringToFront(*this);
        return;
    }
    SetVisible(true);
}

void Screen::Form_KeyPress(int16_t&) {}
void Screen::Form_KeyPressAt(int16_t& KeyAscii, const InputEvent&) { Form_KeyPress(KeyAscii); }
void Screen::Form_KeyDown(int, int) {}
void Screen::Form_KeyDownAt(int keyCode, int shift, const InputEvent&) { Form_KeyDown(keyCode, shift); }
void Screen::Form_QueryUnload(bool&) {}

}  // namespace pelorin
