#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/host.h"

namespace pelorin {

// A run under the headless host needed something that never comes: a wait with no timer and no
// scheduled input, a question nobody answers, or more virtual time than the test allows.
class HeadlessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program reached a state only a person could move on from, and the test scheduled nothing more.
class HeadlessIdle : public HeadlessError {
public:
    HeadlessIdle() : HeadlessError("idle: nothing scheduled and no timer running") {}
};

// One thing a person would have seen or heard, at a virtual time.
struct TraceEntry {
    int64_t micros = 0;
    std::string what;
    int64_t Millis() const { return micros / 1000; }
};

// The test host: a virtual clock that jumps to the next due timer or scheduled input whenever the
// program waits, input scheduled at virtual times, message boxes answered by the test, and a trace of
// what is shown and played. It runs the same screens as the real host.
class HeadlessHost : public Host {
public:
    HeadlessHost(int widthPixels, int heightPixels, std::string currentDirectory);

    // Input at a virtual time in milliseconds (from the clock's zero), made with InputEvent's named
    // constructors. A Resize with no target is the display's: its width and height, in twips, become
    // the display's size. Keys, clicks and close requests that fall due while a message box is up go
    // to the box, as on the real host: the screens never see them; nor those already queued behind the
    // key that brought the box up.
    void Schedule(int64_t atMillis, InputEvent event);
    // Each character as a key press, one millisecond apart; returns the time after the last.
    int64_t ScheduleText(int64_t atMillis, const std::string& text);

    // Calls back at a virtual time in milliseconds, with that time, for a simulated person who decides
    // then what to do. A call that falls due while a sound plays or a box is up comes once the thread
    // is free again, as a person's key would.
    void ScheduleCall(int64_t atMillis, std::function<void(int64_t atMillis)> call);

    // Answers for the next message boxes, in order, each after the given virtual delay. Boxes with an
    // OK button only are answered OK when no answer is queued; an unanswered question fails the run.
    void AnswerMessageBox(int result, int64_t afterMillis = 0);

    // Called for every trace entry as it is made, to let a simulated subject react.
    std::function<void(const TraceEntry&)> onTrace;
    // A display's frame counts, for tests of what records them; unset, none are counted (the virtual
    // clock stamps no refresh).
    std::function<FrameCounts()> countFrames;

    // The virtual time each RunAside takes (a flush to the disk), in milliseconds; none unless set.
    void SetAsideCostMillis(int64_t cost) { asideCostMicros = cost * 1000; }
    // The time from a sound's call to its first sample, as a real output has; none unless set.
    void SetSoundLatencyMillis(int64_t latency) { soundLatencyMicros = latency * 1000; }

    // Fails the run when virtual time would pass this limit.
    void SetTimeLimitMillis(int64_t limit) { timeLimitMicros = limit * 1000; }
    int64_t NowMillis() const { return now / 1000; }

    const std::vector<TraceEntry>& Trace() const { return trace; }
    // Entries whose text starts with the prefix.
    std::vector<TraceEntry> Find(const std::string& prefix) const;
    // The time of the first entry starting with the prefix at or after fromMillis, or -1.
    int64_t TimeOf(const std::string& prefix, int64_t fromMillis = 0) const;
    void ClearTrace() { trace.clear(); }

    int CursorX() const { return cursorX; }
    int CursorY() const { return cursorY; }

    // Host
    void Attach(Runtime& attached) override { runtime = &attached; }
    int64_t NowMicros() override { return now; }
    int DisplayWidthPixels() override { return widthPixels; }
    int DisplayHeightPixels() override { return heightPixels; }
    void WaitForInput(int64_t deadlineMicros) override;
    std::optional<InputEvent> PollInput() override;
    void Present() override;
    int ShowMessageBox(const std::string& prompt, int style, const std::string& title) override;
    void SetCursorPos(int x, int y) override;
    void SetTopMost(Screen& screen) override;
    SoundOnset PlaySoundSync(const std::string& path) override;
    void RunAside(const std::function<void()>& work) override;
    void OnNextPresent(std::function<void(const PresentedFrame&)> callback) override;
    AudioOutput DescribeAudio() override;
    FrameCounts CountFrames() override {
        return countFrames ? countFrames() : FrameCounts{0, 0, 0, FrameStamp::VirtualClock};
    }
    int WaveOpen(const std::string& path) override;
    void WaveRewind(int handle) override;
    void WavePlay(int handle) override;
    void WaveClose(int handle) override;
    std::string CurrentDirectory() override { return currentDirectory; }
    // The calendar runs on the virtual clock from a start of the test's choosing, in UTC, so that a
    // run's files are the same on every machine and every day.
    CalendarTime CalendarNow() override { return {calendarStart + now / 1000000, 0}; }
    void SetCalendarStart(int64_t unixSeconds) { calendarStart = unixSeconds; }

private:
    struct Scheduled {
        int64_t at;
        InputEvent event;
        std::function<void(int64_t)> call;
    };
    struct Answer {
        int result;
        int64_t afterMicros;
    };
    struct Frame {
        std::string top;
        std::map<std::string, std::string> controls;
        std::map<std::string, std::string> windows;
    };

    void MoveDueToPending();
    void Insert(Scheduled item);
    void DrawFrame();
    // Takes the input that was queued behind the box or fell due while it was up, as the box would.
    void GiveDueToMessageBox();
    void Record(std::string what);
    std::string Relative(const std::string& path) const;
    Frame Snapshot() const;

    Runtime* runtime = nullptr;
    int widthPixels;
    int heightPixels;
    std::string currentDirectory;
    int64_t now = 0;
    // 2026-01-05T09:00:00Z, a Monday morning.
    int64_t calendarStart = 1767603600;
    int64_t timeLimitMicros = int64_t{3600} * 1000 * 1000;
    int64_t asideCostMicros = 0;
    int64_t soundLatencyMicros = 0;
    std::vector<Scheduled> scheduled;  // kept sorted by time, stable for equal times
    std::deque<InputEvent> pending;
    std::deque<Answer> answers;
    std::vector<TraceEntry> trace;
    uint64_t presentedRevision = 0;
    Frame lastFrame;
    std::vector<std::function<void(const PresentedFrame&)>> presentCallbacks;
    std::map<int, std::string> waves;
    int nextWave = 1;
    int cursorX = -1;
    int cursorY = -1;
};

}  // namespace pelorin
