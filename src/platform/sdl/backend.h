#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/host.h"
#include "platform/sdl/geometry.h"
#include "platform/sdl/input_wait.h"
#include "platform/sdl/key_translator.h"
#include "platform/sdl/painter.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_types.h"
#include "platform/sdl/text.h"

namespace pelorin {
class Control;
}

namespace pelorin::sdl {

// Hints that must be set before SDL's video starts.
struct VideoHints {
    VideoHints();
};

// What SdlHost does, behind its SDL-free header: one borderless window over the whole display
// showing the front full-screen screen, a window of its own for each shown bordered screen, message
// boxes drawn in the main window, keys, clicks and the wheel turned into the core's input events.
class Backend : public Host {
public:
    // Throws StartError when there is no display to open a window on.
    Backend();
    ~Backend() override;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    void Attach(Runtime& attached) override { runtime = &attached; }
    int64_t NowMicros() override;
    int DisplayWidthPixels() override { return displayWidth; }
    int DisplayHeightPixels() override { return displayHeight; }
    void WaitForInput(int64_t deadlineMicros) override;
    std::optional<InputEvent> PollInput() override;
    void Present() override;
    int ShowMessageBox(const std::string& prompt, int style, const std::string& title) override;
    void SetCursorPos(int x, int y) override;
    void SetTopMost(Screen& screen) override;
    void PlaySoundSync(const std::string& path) override;
    SoundOnset LastSoundOnset() override { return lastSound; }
    void OnNextPresent(std::function<void(int64_t presentedMicros)> callback) override;
    AudioOutput DescribeAudio() override { return audio.Describe(); }
    int WaveOpen(const std::string& path) override;
    void WaveRewind(int handle) override;
    void WavePlay(int handle) override;
    void WaveClose(int handle) override;
    std::string CurrentDirectory() override;

private:
    // The window of a bordered screen, such as the debug window.
    struct BorderedWindow {
        WindowPtr window;
        RendererPtr renderer;
        std::unique_ptr<Painter> painter;
        // Where the window was last put, or where the user left it after a resize.
        PixelRect placed;
        std::string caption;
        bool shown = false;
    };
    struct Overlay {
        const MessageBoxModel& box;
        const MessageBoxGeometry& geometry;
    };
    // Turns one SDL event into the core's input events, queued for PollInput.
    void ProcessEvent(const SDL_Event& event);
    void ProcessWindowEvent(const SDL_WindowEvent& event);
    void ProcessKeyDown(const SDL_KeyboardEvent& key);
    void Push(InputEvent event, Screen* target);
    void Click(Control* control);
    // The bordered screen a window shows; null for the main window.
    Screen* ScreenOfWindow(Uint32 windowId) const;
    // The screen under the pointer in a window.
    Screen* ScreenUnder(Uint32 windowId) const;
    // Arrow and page keys scroll a focused text view.
    void ScrollFocusedTextView(int virtualKey);

    // Creates, shows, hides and places the bordered screens' windows as the runtime has them.
    void SyncWindows();
    BorderedWindow& WindowFor(Screen& screen);
    void Redraw(const std::optional<Overlay>& overlay);

    VideoHints hints;
    Video video;
    TtfLibrary ttf;
    Fonts fonts;
    TextViewLayouts layouts{fonts};
    WindowPtr mainWindow;
    RendererPtr mainRenderer;
    std::unique_ptr<Painter> mainPainter;
    std::unique_ptr<InputWait> inputWait;
    std::map<Screen*, BorderedWindow> windows;
    std::set<Screen*> topMost;
    Audio audio;

    Runtime* runtime = nullptr;
    SoundOnset lastSound;
    std::vector<std::function<void(int64_t)>> presentCallbacks;
    KeyTranslator keys;
    std::deque<InputEvent> pending;
    // A button is clicked when the mouse goes up over the one it went down on.
    Control* pressed = nullptr;
    uint64_t presentedRevision = 0;
    bool dirty = true;
    int displayWidth = 0;
    int displayHeight = 0;
    // The monotonic clock's reading at start, in nanoseconds: NowMicros counts from it.
    int64_t clockStart = 0;
};

}  // namespace pelorin::sdl
