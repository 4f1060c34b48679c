#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hosts/sdl/canvas.h"
#include "hosts/sdl/key_translator.h"
#include "hosts/sdl/sdl_types.h"
#include "ui/texts.h"

namespace pelorin::sdl {

// A message box drawn inside the main window as a modal layer over the screen on top: what it shows,
// where its parts go, how it is drawn, and its own event loop that answers keys and clicks. The
// toolkit's native box is not used: it needs X core fonts, gets no keyboard without a window manager
// and blocks where the program cannot draw.
class ModalMessageBox {
public:
    enum class Icon { None, Exclamation, Question };
    struct Choice {
        std::string caption;
        int result;
    };

    // Its buttons' captions are the texts' own.
    ModalMessageBox(const std::string& prompt, int style, std::string title, const Texts& texts = Texts());

    // The prompt's lines: CR, LF and CR LF each break a line.
    const std::vector<std::string>& Lines() const { return lines; }
    Icon GetIcon() const { return icon; }
    const std::vector<Choice>& Choices() const { return choices; }

    // A key-down with its virtual-key code and shift flags; returns the answer, or 0 while the box
    // stays up. A repeated key never answers.
    int KeyDown(int virtualKey, int shift, bool repeat);
    // A click on a button, by its place in Choices().
    int Click(size_t choice) const { return choices.at(choice).result; }

    // What the box's loop asks of the host: drawing every window with the box over the main one, and
    // a change of the main window's size, which is for the screens once the box is gone.
    struct HostHooks {
        Uint32 mainWindowId = 0;
        KeyTranslator& keys;
        std::function<void()> draw;
        std::function<void(const SDL_WindowEvent&)> sizeChanged;
        // Another thread woke the loop (a frame shown at the refresh).
        std::function<void()> woken;
    };
    // Lays the box out in the middle of a window of that size.
    void LayOut(Canvas& canvas, int windowWidth, int windowHeight);
    void Draw(Canvas& canvas) const;
    // Runs until the box is answered; returns the answer. Only the box takes keys and clicks
    // meanwhile, and the window's close button waits for the answer.
    int Run(const HostHooks& host);

private:
    int Find(int result) const;
    void DrawIcon(Canvas& canvas) const;
    // The button at a pixel of the main window, by its place in Choices(), or -1.
    int ButtonAt(int x, int y) const;

    std::string title;
    std::vector<std::string> lines;
    Icon icon = Icon::None;
    std::vector<Choice> choices;
    size_t focus = 0;

    // Where the parts go, in pixels of the main window.
    SDL_Rect box{};
    SDL_Rect titleBar{};
    SDL_Rect iconRect{};
    int textX = 0;
    int textY = 0;
    std::vector<std::string> wrappedLines;
    std::vector<SDL_Rect> buttons;
};

}  // namespace pelorin::sdl
