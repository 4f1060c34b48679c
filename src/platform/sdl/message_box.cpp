#include "platform/sdl/message_box.h"

#include "platform/host.h"
#include "platform/sdl/key_translator.h"

namespace pelorin::sdl {

namespace {

constexpr int BUTTONS_MASK = 0x7;
constexpr int YES_NO = 4;
constexpr int ICON_MASK = 0x70;
constexpr int ICON_QUESTION = 32;
constexpr int ICON_EXCLAMATION = 48;
constexpr int KEY_Y = 'Y';
constexpr int KEY_N = 'N';

}  // namespace

MessageBoxModel::MessageBoxModel(const std::string& prompt, int style, std::string title) : title(std::move(title)) {
    std::string line;
    for (size_t at = 0; at < prompt.size(); ++at) {
        char character = prompt[at];
        if (character == '\r' || character == '\n') {
            if (character == '\r' && at + 1 < prompt.size() && prompt[at + 1] == '\n') ++at;
            lines.push_back(line);
            line.clear();
        } else {
            line += character;
        }
    }
    lines.push_back(line);

    if ((style & ICON_MASK) == ICON_QUESTION) icon = Icon::Question;
    if ((style & ICON_MASK) == ICON_EXCLAMATION) icon = Icon::Exclamation;
    if ((style & BUTTONS_MASK) == YES_NO) {
        choices = {{"Yes", ID_YES}, {"No", ID_NO}};
    } else {
        choices = {{"OK", ID_OK}};
    }
}

int MessageBoxModel::Find(int result) const {
    for (const Choice& choice : choices) {
        if (choice.result == result) return result;
    }
    return 0;
}

int MessageBoxModel::KeyDown(int virtualKey, int shift, bool repeat) {
    // A key still held from before the box, or held too long, must not answer it.
    if (repeat) return 0;
    switch (virtualKey) {
    case KEY_RETURN:
    case KEY_SPACE:
        return choices[focus].result;
    case KEY_ESCAPE:
        return Find(ID_NO) != 0 ? ID_NO : Find(ID_OK);
    case KEY_Y:
        return Find(ID_YES);
    case KEY_N:
        return Find(ID_NO);
    case KEY_TAB:
        focus = (shift & SHIFT_MASK) != 0 ? (focus + choices.size() - 1) % choices.size() : (focus + 1) % choices.size();
        return 0;
    case VK_LEFT:
    case VK_UP:
        focus = (focus + choices.size() - 1) % choices.size();
        return 0;
    case VK_RIGHT:
    case VK_DOWN:
        focus = (focus + 1) % choices.size();
        return 0;
    default:
        return 0;
    }
}

}  // namespace pelorin::sdl
