#pragma once

#include <string>
#include <vector>

namespace pelorin::sdl {

// What a message box shows and how it answers keys and clicks, apart from drawing it.
class MessageBoxModel {
public:
    enum class Icon { None, Exclamation, Question };
    struct Choice {
        std::string caption;
        int result;
    };

    MessageBoxModel(const std::string& prompt, int style, std::string title);

    const std::string& Title() const { return title; }
    // The prompt's lines: CR, LF and CR LF each break a line.
    const std::vector<std::string>& Lines() const { return lines; }
    Icon GetIcon() const { return icon; }
    const std::vector<Choice>& Choices() const { return choices; }
    size_t Focus() const { return focus; }

    // A key-down with its virtual-key code and shift flags; returns the answer, or 0 while the box
    // stays up. A repeated key never answers.
    int KeyDown(int virtualKey, int shift, bool repeat);
    // A click on a button, by its place in Choices().
    int Click(size_t choice) const { return choices.at(choice).result; }

private:
    int Find(int result) const;

    std::string title;
    std::vector<std::string> lines;
    Icon icon = Icon::None;
    std::vector<Choice> choices;
    size_t focus = 0;
};

}  // namespace pelorin::sdl
