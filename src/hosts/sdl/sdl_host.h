#pragma once

#include <memory>

#include "ui/host.h"
#include "ui/texts.h"

namespace pelorin::sdl {

struct SdlHostState;

// The real host, on SDL: one borderless window over the whole display showing the front full-screen
// screen, a window of its own for each shown bordered screen, message boxes drawn in the main window,
// keys, clicks and the wheel turned into the core's input events, and the machine's clock and sound.
// Its header includes no SDL; what it holds is in one private struct.
class SdlHost : public Host {
public:
    // Opens the window over the display of that number (0 is the first the system lists). Throws
    // std::runtime_error when the program cannot start: no such display, no window, no font.
    explicit SdlHost(int displayNumber = 0);
    ~SdlHost() override;
    SdlHost(const SdlHost&) = delete;
    SdlHost& operator=(const SdlHost&) = delete;

    void Attach(Runtime& runtime) override;
    int64_t NowMicros() override;
    int DisplayWidthPixels() override;
    int DisplayHeightPixels() override;
    float TwipsPerPixel() override;
    DisplayInfo DescribeDisplay() override;
    KeyboardLayout DescribeKeyboard(std::string_view keys) override;
    void WaitForInput(int64_t deadlineMicros) override;
    std::optional<InputEvent> PollInput() override;
    int64_t StampLeadMicros() override;
    void Present() override;
    int ShowMessageBox(const std::string& prompt, int style, const std::string& title) override;
    void SetCursorPos(int x, int y) override;
    void SetTopMost(Screen& screen) override;
    SoundOnset PlaySoundSync(const std::string& path) override;
    void RunAside(const std::function<void()>& work) override;
    void OnNextPresent(std::function<void(const PresentedFrame&)> callback) override;
    void FinishPresents() override;
    FrameCounts CountFrames() override;
    AudioOutput DescribeAudio() override;
    int WaveOpen(const std::string& path) override;
    void WaveRewind(int handle) override;
    void WavePlay(int handle) override;
    void WaveClose(int handle) override;
    CalendarTime CalendarNow() override;
    std::string CurrentDirectory() override;

    // Marks every window with this text in its top right-hand corner (a pilot's "PILOT"); none when
    // empty.
    void SetMark(std::string text);
    // The texts its message boxes take their buttons' captions from; English until set.
    void UseTexts(const Texts& texts);

    // Draws and sends every frame whole, and plays through SDL's sound output with each synchronous
    // sound started in the next buffer the device asks for and given its planned onset, where the
    // host otherwise draws only what changed and plays through the system's own output with onsets
    // read back: for the benchmark, which measures the two side by side.
    void UseWholeFramesAndSdlSound();
    // Keys stamped when the program reads them, after a sound or a flush has held its thread, rather
    // than as they arrive; flushes run on the program's thread: for the benchmark, beside the above.
    void StampKeysWhenRead();

    // Shows each other display's number big in its middle, for as long as the host lives: the timing
    // check's way of saying which display is which.
    void ShowDisplayNumbers();

    // Until the sound output plays (it warms up from the start, and a synchronous sound waits for it
    // itself), keeping events running: for a measurement whose first sound must not include that wait.
    void WaitForSoundOutput();

    // The refresh rate the system reports for the display the window is on; 0 when it reports none.
    int DisplayRefreshHz();

private:
    std::unique_ptr<SdlHostState> state;
};

}  // namespace pelorin::sdl
