#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/texts.h"
#include "ui/uniform_random.h"

namespace pelorin {

class Control;
class Screen;
class Timer;

// The timed waits a screen calls while events keep running (a blank screen's, whose timers they use).
class Waits {
public:
    virtual ~Waits() = default;
    // Returns after WaitTime ms while events keep running. A Wait begun inside another ends both.
    virtual void Wait(int16_t WaitTime) = 0;
    // The same on a timer and flag of its own; the work handed to DuringNextWait is done inside it.
    virtual void Wait2(int16_t WaitTime) = 0;
};

// Thrown to end the program: it unwinds every nested wait and handler back to main.
class ProgramEnded : public std::exception {
public:
    const char* what() const noexcept override { return "program ended"; }
};

// The platform core that every screen runs on: the z-order of screens, keyboard focus, the timers,
// the event loop with its nested passes, message boxes, sound and the program's end. All of it runs
// on one thread.
class Runtime {
public:
    explicit Runtime(Host& host);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    Host& host;
    // The texts of the run's language, which every screen and box takes its words from.
    Texts texts;

    // The program's title, used by message boxes that name none.
    static constexpr const char* TITLE = "Pelorin";

    // Display size in twips.
    float DisplayWidth();
    float DisplayHeight();

    // Handles every pending input event and every due timer once, then returns. Never blocks.
    void DoEvents();
    // One pass of a wait: blocks until input arrives or the next timer falls due, then DoEvents.
    void WaitPass();
    // How many event passes are running, one inside another: the nesting depth of handlers.
    int EventDepth() const { return eventDepth; }
    // Every input event stamped before this time has been handled: a pass found the host's queue empty
    // then, or a message box took what was queued. NOTE: a key's handler writes its row before it waits.
    int64_t InputHandledThrough() const { return inputHandledThrough; }
    // Called with InputHandledThrough each time it moves on (one listener: the results log's).
    void OnInputHandled(std::function<void(int64_t)> listener) { inputHandled = std::move(listener); }

    // Visible screens, back to front.
    const std::vector<Screen*>& ZOrder() const { return zOrder; }
    // The screen that takes the keyboard: the front full-screen screen, or null.
    Screen* ActiveScreen() const;

    // Moves the focus to a control of its screen. Leaving a text box validates it first; a refused
    // validation keeps the focus where it is and returns false.
    bool SetFocus(Control& control);
    // Moves the focus without validating the box it leaves: for a screen that has just checked its
    // boxes itself and sends the focus to the one that failed.
    void PutFocus(Control& control);

    // Delivers one input event as a person's action: keys to the active screen (or the event's
    // target), clicks to their control.
    void Dispatch(const InputEvent& event);

    // A modal message box: only the box takes input while it is up, and every timer holds until it
    // closes. Returns ID_OK, ID_YES or ID_NO.
    int MsgBox(const std::string& prompt, int style = MB_OK_ONLY, const std::string& title = TITLE);

    // Plays a wave file to its end, the display brought up to date first; returns the sound's onset.
    SoundOnset PlaySound(const std::string& path);
    void OnNextPresent(std::function<void(const PresentedFrame&)> callback) { host.OnNextPresent(std::move(callback)); }
    // Runs work that holds the thread for milliseconds (a flush) while input keeps its arrival times.
    void RunAside(const std::function<void()>& work) { host.RunAside(work); }
    // The timed waits: services of the event loop, given by the screen that keeps their timers, made on
    // first use.
    void SetWaits(std::function<Waits&()> provider) { waits = std::move(provider); }
    void Wait(int16_t WaitTime) { waits().Wait(WaitTime); }
    void Wait2(int16_t WaitTime) { waits().Wait2(WaitTime); }
    // Work for the next timed wait, done once its time is running, so that what the work costs comes
    // out of a wait's specified time instead of stretching a screen's.
    void DuringNextWait(std::function<void()> work) { waitWork.push_back(std::move(work)); }
    // Does the work handed to DuringNextWait, in order: the timed waits call it once their timers run.
    void DoWaitWork();
    void SetCursorPos(int x, int y);

    // Milliseconds on the host's clock, wrapping like a 32-bit tick counter.
    uint32_t GetTickCount();
    // The program's one uniform generator.
    UniformRandom& Random() { return random; }

    // Paths of data files: the current directory followed by a relative name.
    std::string DataPath(const std::string& relativeName);

    // What the main window's close button asks for.
    void SetCloseHandler(std::function<void()> handler) { closeHandler = std::move(handler); }

    // Ends the program: closes the sound devices and unwinds to main. Never returns.
    [[noreturn]] void End();

    // Bumped by every visible change; hosts redraw when it moved.
    uint64_t Revision() const { return revision; }
    void Changed() { ++revision; }

    // The next time any timer falls due, or NO_DEADLINE.
    int64_t NextTimerDue() const;

    // Registration of screens, timers and wave players; their constructors call these.
    void AddScreen(Screen* screen);
    void RemoveScreen(Screen* screen);
    void AddTimer(Timer* timer);
    void RemoveTimer(Timer* timer);
    void AddWave(int handle);
    void RemoveWave(int handle);

private:
    friend class Screen;

    void BringToFront(Screen& screen);
    void RemoveFromDisplay(Screen& screen);
    void UpdateActive();
    void FireDueTimers(int64_t now);
    void DispatchKeyPress(Screen& screen, const InputEvent& event);
    void DispatchKeyDown(Screen& screen, const InputEvent& event);
    void DispatchClick(Control& control);
    void MoveFocus(Screen& screen, bool backwards);
    void ResizeFullScreens();
    void InputHandled(int64_t through);

    std::vector<Screen*> screens;
    std::vector<Screen*> zOrder;
    std::vector<Timer*> timers;
    std::vector<int> openWaves;
    Screen* active = nullptr;
    std::function<void()> closeHandler;
    UniformRandom random;
    uint64_t revision = 1;
    int eventDepth = 0;
    std::vector<std::function<void()>> waitWork;
    std::function<Waits&()> waits;
    int64_t inputHandledThrough = 0;
    std::function<void(int64_t)> inputHandled;
    int displayWidthPixels = 0;
    int displayHeightPixels = 0;
};

}  // namespace pelorin
