#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelorin {

class Frame;
class Screen;

enum class Alignment { Left, Right, Center };

struct Color {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Color&) const = default;
};

// The system colours the screens name; hosts draw them as given.
inline constexpr Color BUTTON_FACE{212, 208, 200};
inline constexpr Color MENU_COLOR{255, 255, 255};
inline constexpr Color WINDOW_TEXT{0, 0, 0};
inline constexpr Color WINDOW_BACKGROUND{255, 255, 255};

// "MS Sans Serif" at a point size; hosts stand in a font of their own.
struct Font {
    float size = 8.25f;
    bool bold = false;
};

enum class ControlKind { Label, Shape, Button, TextBox, Frame, TextView, Pane };

// A control on a screen. Positions and sizes are twips; a control inside a frame is positioned
// relative to the frame. Every change goes through a setter so hosts know when to redraw.
class Control {
public:
    Control(Screen& owner, ControlKind kind, std::string name, float left, float top, float width,
            float height, Frame* parent = nullptr);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind Kind() const { return kind; }
    const std::string& Name() const { return name; }
    Screen& Owner() const { return owner; }
    Frame* Parent() const { return parent; }

    float Left() const { return left; }
    float Top() const { return top; }
    float Width() const { return width; }
    float Height() const { return height; }
    void SetWidth(float value);
    void SetHeight(float value);
    void Move(float newLeft, float newTop);
    void Move(float newLeft, float newTop, float newWidth, float newHeight);

    bool Visible() const { return visible; }
    void SetVisible(bool value);
    // Visible, and so is every frame it sits in.
    bool IsShown() const;

    // Position on the screen, frames included.
    float ScreenLeft() const;
    float ScreenTop() const;

    // Tab stops take the focus from Tab and clicks; -1 means the control takes no focus.
    int TabIndex() const { return tabIndex; }
    void SetTabIndex(int value);
    bool CanFocus() const { return tabIndex >= 0 && IsShown(); }

protected:
    void Changed();

private:
    Screen& owner;
    ControlKind kind;
    std::string name;
    Frame* parent;
    float left;
    float top;
    float width;
    float height;
    bool visible = true;
    int tabIndex = -1;
};

class Label : public Control {
public:
    Label(Screen& owner, std::string name, std::string caption, float left, float top, float width,
          float height, Font font = {}, Alignment alignment = Alignment::Left, Frame* parent = nullptr);

    const std::string& Caption() const { return caption; }
    void SetCaption(const std::string& value);
    const Font& GetFont() const { return font; }
    Alignment GetAlignment() const { return alignment; }
    // Transparent labels show the screen behind them.
    bool HasBackColor() const { return hasBackColor; }
    Color BackColor() const { return backColor; }
    void SetBackColor(Color value);

private:
    std::string caption;
    Font font;
    Alignment alignment;
    bool hasBackColor = false;
    Color backColor{};
};

// A filled rectangle.
class Shape : public Control {
public:
    Shape(Screen& owner, std::string name, Color fillColor, float left, float top, float width, float height);
    Color FillColor() const { return fillColor; }

private:
    Color fillColor;
};

class Button : public Control {
public:
    // index is the button's place in a control array, or -1 for a lone button.
    Button(Screen& owner, std::string name, int index, std::string caption, float left, float top, float width,
           float height, Font font, std::function<void()> onClick);

    int Index() const { return index; }
    const std::string& Caption() const { return caption; }
    const Font& GetFont() const { return font; }
    void Click() const;

private:
    int index;
    std::string caption;
    Font font;
    std::function<void()> onClick;
};

class TextBox : public Control {
public:
    TextBox(Screen& owner, std::string name, float left, float top, float width, float height, Font font,
            int maxLength);

    const std::string& Text() const { return text; }
    void SetText(const std::string& value);
    const Font& GetFont() const { return font; }

    // Key filter: sees every key before the box does; setting the code to 0 swallows it.
    std::function<void(int16_t& KeyAscii)> onKeyPress;
    // Runs when the focus is about to leave the box; setting Cancel keeps the focus in it.
    std::function<void(bool& Cancel)> onValidate;

    // What the box does with a key nobody swallowed: backspace deletes, printable characters are typed.
    void ApplyKey(int16_t keyAscii);

private:
    std::string text;
    Font font;
    int maxLength;
};

// A container whose children are positioned relative to it.
class Frame : public Control {
public:
    Frame(Screen& owner, std::string name, float left, float top, float width, float height);
};

// A read-only view of a whole text file, word-wrapped.
class TextView : public Control {
public:
    TextView(Screen& owner, std::string name, float left, float top, float width, float height, Font font,
             Color backColor);

    const std::string& Text() const { return text; }
    void SetText(const std::string& value);
    // Counts the text's replacements, so hosts lay out a long text only when it changes.
    uint64_t TextRevision() const { return textRevision; }
    const Font& GetFont() const { return font; }
    Color BackColor() const { return backColor; }
    // Loads the file whole, replacing the text. On failure the text stays, the reason goes to error
    // and false is returned: the screen says so in its own words.
    bool LoadFile(const std::string& path, std::string* error = nullptr);
    // First line shown, for views whose text is taller than they are.
    int ScrollLine() const { return scrollLine; }
    void SetScrollLine(int value);

private:
    std::string text;
    Font font;
    Color backColor;
    uint64_t textRevision = 0;
    int scrollLine = 0;
};

// An empty embedding pane.
class Pane : public Control {
public:
    Pane(Screen& owner, std::string name, float left, float top, float width, float height);
};

}  // namespace pelorin
