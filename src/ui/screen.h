#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/texts.h"

namespace pelorin {

class Control;
class Runtime;
struct InputEvent;

// The base of every screen: its controls in declaration order, its size, its loaded and visible state,
// and the handlers a screen overrides. A full-screen screen always has the display's size; a bordered
// screen is an ordinary window of its own.
class Screen {
public:
    Screen(Runtime& runtime, std::string name, float designWidth, float designHeight, bool bordered = false);
    virtual ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    Runtime& runtime;

    const std::string& Name() const { return name; }
    bool Bordered() const { return bordered; }
    const std::string& Caption() const { return caption; }
    void SetCaption(const std::string& value) { caption = value; }
    // The run's text of the key, with its values put in.
    std::string Text(std::string_view key, std::initializer_list<TextValue> values = {}) const;

    float Left() const { return left; }
    float Top() const { return top; }
    float Width() const { return width; }
    float Height() const { return height; }
    // Moves a bordered window; a size that changes raises Form_Resize.
    void Move(float newLeft, float newTop, float newWidth, float newHeight);
    void SetWidth(float value) { Move(left, top, value, height); }
    void SetHeight(float value) { Move(left, top, width, value); }

    bool Loaded() const { return loaded; }
    // Runs Form_Load the first time; later calls do nothing.
    void Load();
    // Asks the screen to unload: Form_QueryUnload may cancel it. Returns true if it unloaded.
    bool Unload();

    bool Visible() const { return visible; }
    // Making a screen visible shows it as Show does; hiding takes it out of the display.
    void SetVisible(bool value);
    // Loads the screen if needed, makes it visible and brings it to the front.
    void Show();

    // With key preview on, the screen's key handlers see every key before the focused control does.
    bool KeyPreview() const { return keyPreview; }
    void SetKeyPreview(bool value) { keyPreview = value; }

    const std::vector<Control*>& Controls() const { return controls; }
    Control* FocusedControl() const { return focused; }

    // The operation a hand-over calls by name.
    virtual void Start() {}

    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Resize() {}
    virtual void Form_KeyPress(int16_t& KeyAscii);
    // The same key with the input event that brought it, whose time is when the host received it: a
    // screen that records when keys were typed overrides this one; by default it is Form_KeyPress.
    virtual void Form_KeyPressAt(int16_t& KeyAscii, const InputEvent& typed);
    virtual void Form_KeyDown(int keyCode, int shift);
    virtual void Form_KeyDownAt(int keyCode, int shift, const InputEvent& typed);
    virtual void Form_QueryUnload(bool& Cancel);

private:
    friend class Control;
    friend class Runtime;

    void AddControl(Control* control);
    void RemoveControl(Control* control);

    std::string name;
    std::string caption;
    bool bordered;
    float left = 0;
    float top = 0;
    float width;
    float height;
    bool loaded = false;
    bool visible = false;
    bool shownOnce = false;
    bool keyPreview = false;
    std::vector<Control*> controls;
    Control* focused = nullptr;
};

}  // namespace pelorin
