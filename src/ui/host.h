#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "system/calendar.h"

namespace pelorin {

class Control;
class Runtime;
class Screen;

// Twips per pixel at 96 dpi: the unit every position and size is held in. A display the system
// scales draws 1440 / its DPI twips to a pixel instead (10 at 144 dpi), so that screens keep their
// physical size.
inline constexpr float TWIPS_PER_PIXEL = 15.0f;
inline constexpr float TWIPS_PER_INCH = 1440.0f;
inline constexpr float BASE_DPI = 96.0f;

// Deadline for a wait that has no timer to end it.
inline constexpr int64_t NO_DEADLINE = std::numeric_limits<int64_t>::max();

// Character codes and key codes the screens compare against.
inline constexpr int16_t KEY_BACK = 8;
inline constexpr int16_t KEY_TAB = 9;
inline constexpr int16_t KEY_RETURN = 13;
inline constexpr int16_t KEY_ESCAPE = 27;
inline constexpr int16_t KEY_SPACE = 32;
inline constexpr int16_t KEY_GRAVE = 96;

// Flags of a key-down's shift state.
inline constexpr int SHIFT_MASK = 1;
inline constexpr int CTRL_MASK = 2;
inline constexpr int ALT_MASK = 4;

// Message-box styles and results.
inline constexpr int MB_OK_ONLY = 0;
inline constexpr int MB_QUESTION_YES_NO = 36;
inline constexpr int MB_EXCLAMATION = 48;
inline constexpr int ID_OK = 1;
inline constexpr int ID_YES = 6;
inline constexpr int ID_NO = 7;

// One input event as the host delivers it to the logic. Hosts make them with the named constructors.
struct InputEvent {
    enum class Kind { KeyPress, KeyDown, Click, Close, Resize };
    Kind kind = Kind::KeyPress;
    int16_t keyAscii = 0;        // KeyPress
    int keyCode = 0;             // KeyDown
    int shift = 0;               // KeyDown
    bool repeat = false;         // KeyPress and KeyDown: produced by holding the key
    Control* control = nullptr;  // Click
    // The screen whose window the event came from; null means the active screen.
    Screen* target = nullptr;
    float width = 0;             // Resize: the new size, twips
    float height = 0;
    // When the host received it, on NowMicros' clock: a response's onset is when the key reached the
    // program, which the results record.
    int64_t timestampMicros = 0;

    static InputEvent KeyPress(int16_t keyAscii, bool repeat = false, Screen* target = nullptr) {
        InputEvent event;
        event.kind = Kind::KeyPress;
        event.keyAscii = keyAscii;
        event.repeat = repeat;
        event.target = target;
        return event;
    }
    static InputEvent KeyDown(int keyCode, int shift = 0, bool repeat = false, Screen* target = nullptr) {
        InputEvent event;
        event.kind = Kind::KeyDown;
        event.keyCode = keyCode;
        event.shift = shift;
        event.repeat = repeat;
        event.target = target;
        return event;
    }
    static InputEvent Click(Control& control) {
        InputEvent event;
        event.kind = Kind::Click;
        event.control = &control;
        return event;
    }
    // The close button of the main window (null) or of a bordered screen's window.
    static InputEvent Close(Screen* target = nullptr) {
        InputEvent event;
        event.kind = Kind::Close;
        event.target = target;
        return event;
    }
    // The display's size changed (null target), or the user resized a bordered screen's window; the
    // new size in twips.
    static InputEvent Resize(Screen* target, float width, float height) {
        InputEvent event;
        event.kind = Kind::Resize;
        event.target = target;
        event.width = width;
        event.height = height;
        return event;
    }
};

// Where a sound PlaySoundSync played reached the audio output, on NowMicros' clock.
struct SoundOnset {
    int64_t onsetMicros = 0;     // when its first sample is due at the output; the call's time if silent
    int64_t durationMicros = 0;  // its length; 0 when the file could not be played
    bool audible = false;        // false when nothing played: no device, or a file that cannot be played
    // True when onsetMicros was read back from the output's clock after the sound played, good to
    // 0.5 ms; false when it is the plan made before it played (the output cannot say when it played).
    bool exact = false;
    // True on a host with no output at all (the test host, simulated runs): the sound took its
    // duration on a virtual clock and was never played.
    bool virtualClock = false;
};

// How the time of a presented frame was taken.
enum class FrameStamp {
    DisplayRefresh,  // the display's own stamp of the refresh at which the frame began to show
    PresentCall,     // when the frame was handed to the display: no refresh's stamp to be had
    VirtualClock,    // the test host's virtual clock
};

// When a frame began to show, on NowMicros' clock.
struct PresentedFrame {
    int64_t micros = 0;
    FrameStamp stamp = FrameStamp::PresentCall;
};

// The frames a host showed at the display's refresh: how many, how many of them one or more refreshes
// after the one they were aimed at, and the refresh period measured from the display's stamps.
struct FrameCounts {
    int64_t shown = 0;
    int64_t missed = 0;
    double refreshMicros = 0;  // 0 where not measured
    FrameStamp stamp = FrameStamp::PresentCall;
};

// The audio output a run plays through, as its results describe it.
struct AudioOutput {
    bool silent = true;     // no device: sounds keep their durations but nothing is heard
    std::string driver;     // the sound system the device is opened through
    std::string device;     // the device's name
    int rate = 0;           // samples per second
    int bufferFrames = 0;   // frames the device takes per buffer
    double fixedLatencyMs = 0;  // from a synchronous play's call to its first sample at the output
};

// The display the subject's screens are on, as a run's records and the timing check describe it.
// A figure the system does not give stays 0 or empty.
struct DisplayFacts {
    int index = 0;          // the display's number among the system's displays, counted from 0
    std::string name;       // the system's name for it
    int widthPixels = 0;
    int heightPixels = 0;
    double refreshHz = 0;   // 0: the system reports none
    int scalingPercent = 0; // the scaling the system asks programs for (100: none); 0: not known
    double dpi = 0;         // the dots per inch the screens are laid out for; 0: not known
    double widthMm = 0;     // the visible picture's size; 0: not known
    double heightMm = 0;
    // How letters' onsets are taken, and the refresh period measured from the display's stamps (0:
    // not measured).
    FrameStamp letterStamp = FrameStamp::PresentCall;
    double measuredRefreshMs = 0;
};

// One display of the machine, numbered as the system lists it (0 is the first).
struct DisplayInfo {
    int number = 0;
    std::string name;
    int left = 0, top = 0, width = 0, height = 0;  // pixels, on the desktop
    int refreshHz = 0;                             // 0: the system reports none
    float dpi = BASE_DPI;                          // what the system asks programs to draw at there
    std::string dpiSource;                         // where the DPI was read, such as "Xft.dpi 144"
    double widthMm = 0, heightMm = 0;              // the visible picture's size, as the monitor says; 0: not known
    float TwipsPerPixel() const { return TWIPS_PER_INCH / dpi; }
    int ScalingPercent() const;
};

// The keyboard layout keys are typed with, and the answer keys it cannot type.
struct KeyboardLayout {
    std::string name;       // such as "ru (Russian)" or "ru-RU (00000419)"; empty when unknown
    std::string untypable;  // the answer keys no key of the layout gives, such as "xswbnm"
};

// What the logic asks of the machine. The SDL host runs the real program; the headless host runs the
// same screens under a virtual clock for tests.
class Host {
public:
    virtual ~Host() = default;

    // The runtime this host serves; called once, before anything else.
    virtual void Attach(Runtime& runtime) = 0;

    // Monotonic clock in microseconds.
    virtual int64_t NowMicros() = 0;

    virtual int DisplayWidthPixels() = 0;
    virtual int DisplayHeightPixels() = 0;
    // Twips to a pixel of the display the screens are shown on.
    virtual float TwipsPerPixel() { return TWIPS_PER_PIXEL; }
    // The display the screens are shown on.
    virtual DisplayInfo DescribeDisplay();
    // The keyboard layout active now, and which of these keys it cannot type.
    virtual KeyboardLayout DescribeKeyboard(std::string_view keys);

    // Blocks until an input event is pending or the clock reaches the deadline, whichever is first.
    // Returns at once if input is already pending.
    virtual void WaitForInput(int64_t deadlineMicros) = 0;
    // The next pending input event, if any; never blocks.
    virtual std::optional<InputEvent> PollInput() = 0;
    // How long before its reading an input event's stamp may fall (a key read late keeps the time the
    // system had it): an event not read yet may be stamped up to this long before now.
    virtual int64_t StampLeadMicros() { return 0; }

    // Brings the display up to date with the runtime's screens when anything visible changed.
    virtual void Present() = 0;

    // A modal message box: while it is up only the box takes input, so keys and clicks meanwhile are
    // the box's, never the screens'. Returns ID_OK, ID_YES or ID_NO.
    virtual int ShowMessageBox(const std::string& prompt, int style, const std::string& title) = 0;

    // Moves the mouse pointer, in pixels; a point beyond the display is clamped to its last pixel.
    virtual void SetCursorPos(int x, int y) = 0;
    // Keeps a bordered screen's window above every other window.
    virtual void SetTopMost(Screen& screen) = 0;

    // Plays a wave file to its end before returning. A file that cannot be played plays nothing. Input
    // that comes meanwhile is stamped as it arrives and handed out by PollInput after the sound.
    // Returns where the sound reached the output, as the output said once it had played.
    virtual SoundOnset PlaySoundSync(const std::string& path) = 0;
    // Calls back once, with the time on NowMicros' clock at which the frame that first carries every
    // change made before this call began to show: the display's refresh where it stamps it, else the
    // present's call. The call back may come passes of the event loop later (at the refresh).
    virtual void OnNextPresent(std::function<void(const PresentedFrame&)> callback) = 0;
    // Waits, a refresh or two at most, until every frame sent has been shown and its callers told
    // (those of a frame the display does not confirm are told its present's call): before a block's
    // rows are closed.
    virtual void FinishPresents() {}
    // The frames shown so far at the display's refresh; none counted where it gives no stamp.
    virtual FrameCounts CountFrames() { return {}; }
    // The device sounds play through.
    virtual AudioOutput DescribeAudio() = 0;
    // The wave player: open returns a handle (or -1), play returns at once.
    virtual int WaveOpen(const std::string& path) = 0;
    virtual void WaveRewind(int handle) = 0;
    virtual void WavePlay(int handle) = 0;
    virtual void WaveClose(int handle) = 0;

    // Runs work that holds a thread for milliseconds without touching the screens (a flush to the
    // disk) on another thread, and returns when it is done; meanwhile input is stamped as it arrives
    // and queued for PollInput, so that a key's time is the one it was typed at.
    virtual void RunAside(const std::function<void()>& work) = 0;

    // The calendar time now, as results files date a run.
    virtual CalendarTime CalendarNow() = 0;

    // The folder every data file is read from and written to.
    virtual std::string CurrentDirectory() = 0;
};

}  // namespace pelorin
