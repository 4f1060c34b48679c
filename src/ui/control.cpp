#include "ui/control.h"

#include "system/files.h"
#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin {

Control::Control(Screen& owner, ControlKind kind, std::string name, float left, float top, float width,
                 float height, Frame* parent)
    : owner(owner), kind(kind), name(std::move(name)), parent(parent), left(left), top(top), width(width),
      height(height) {
    owner.AddControl(this);
}

Control::~Control() { owner.RemoveControl(this); }

void Control::Changed() { owner.runtime.Changed(); }

void Control::SetWidth(float value) { Move(left, top, value, height); }
void Control::SetHeight(float value) { Move(left, top, width, value); }
void Control::Move(float newLeft, float newTop) { Move(newLeft, newTop, width, height); }

void Control::Move(float newLeft, float newTop, float newWidth, float newHeight) {
    if (newLeft == left && newTop == top && newWidth == width && newHeight == height) return;
    left = newLeft;
    top = newTop;
    width = newWidth;
    height = newHeight;
    Changed();
}

void Control::SetVisible(bool value) {
    if (visible == value) return;
    visible = value;
    Changed();
}

bool Control::IsShown() const { return visible && (parent == nullptr || parent->IsShown()); }

float Control::ScreenLeft() const { return parent ? parent->ScreenLeft() + left : left; }
float Control::ScreenTop() const { return parent ? parent->ScreenTop() + top : top; }

void Control::SetTabIndex(int value) {
    tabIndex = value;
    Changed();
}

Label::Label(Screen& owner, std::string name, std::string caption, float left, float top, float width,
             float height, Font font, Alignment alignment, Frame* parent)
    : Control(owner, ControlKind::Label, std::move(name), left, top, width, height, parent),
      caption(std::move(caption)), font(font), alignment(alignment) {}

void Label::SetCaption(const std::string& value) {
    if (caption == value) return;
    caption = value;
    Changed();
}

void Label::SetBackColor(Color value) {
    hasBackColor = true;
    backColor = value;
    Changed();
}

Shape::Shape(Screen& owner, std::string name, Color fillColor, float left, float top, float width, float height)
    : Control(owner, ControlKind::Shape, std::move(name), left, top, width, height), fillColor(fillColor) {}

Button::Button(Screen& owner, std::string name, int index, std::string caption, float left, float top,
               float width, float height, Font font, std::function<void()> onClick)
    : Control(owner, ControlKind::Button, std::move(name), left, top, width, height), index(index),
      caption(std::move(caption)), font(font), onClick(std::move(onClick)) {
    SetTabIndex(0);
}

void Button::Click() const {
    if (onClick) onClick();
}

TextBox::TextBox(Screen& owner, std::string name, float left, float top, float width, float height, Font font,
                 int maxLength)
    : Control(owner, ControlKind::TextBox, std::move(name), left, top, width, height), font(font),
      maxLength(maxLength) {
    SetTabIndex(0);
}

void TextBox::SetText(const std::string& value) {
    if (text == value) return;
    text = value;
    Changed();
}

void TextBox::ApplyKey(int16_t keyAscii) {
    if (keyAscii == KEY_BACK) {
        if (!text.empty()) SetText(text.substr(0, text.size() - 1));
        return;
    }
    // Control characters (Enter, Tab, Esc) type nothing into a one-line box.
    if (keyAscii < KEY_SPACE || keyAscii > 126) return;
    if (maxLength > 0 && static_cast<int>(text.size()) >= maxLength) return;
    SetText(text + static_cast<char>(keyAscii));
}

Frame::Frame(Screen& owner, std::string name, float left, float top, float width, float height)
    : Control(owner, ControlKind::Frame, std::move(name), left, top, width, height) {}

TextView::TextView(Screen& owner, std::string name, float left, float top, float width, float height, Font font,
                   Color backColor)
    : Control(owner, ControlKind::TextView, std::move(name), left, top, width, height), font(font),
      backColor(backColor) {
    SetTabIndex(0);
}

void TextView::SetText(const std::string& value) {
    text = value;
    ++textRevision;
    scrollLine = 0;
    Changed();
}

bool TextView::LoadFile(const std::string& path, std::string* error) {
    auto contents = ReadWholeFile(path, error);
    if (!contents) return false;
    SetText(*contents);
    return true;
}

void TextView::SetScrollLine(int value) {
    if (value < 0) value = 0;
    if (value == scrollLine) return;
    scrollLine = value;
    Changed();
}

Pane::Pane(Screen& owner, std::string name, float left, float top, float width, float height)
    : Control(owner, ControlKind::Pane, std::move(name), left, top, width, height) {}

}  // namespace pelorin
