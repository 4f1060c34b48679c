#include "hosts/headless/headless_host.h"

#include <algorithm>
#include <cstdio>

#include "audio/wav_file.h"
#include "system/files.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin {

HeadlessHost::HeadlessHost(int widthPixels, int heightPixels, std::string currentDirectory)
    : widthPixels(widthPixels), heightPixels(heightPixels), currentDirectory(std::move(currentDirectory)) {}

void HeadlessHost::Insert(Scheduled item) {
    auto position = std::upper_bound(scheduled.begin(), scheduled.end(), item.at,
                                     [](int64_t time, const Scheduled& other) { return time < other.at; });
    scheduled.insert(position, std::move(item));
}

void HeadlessHost::Schedule(int64_t atMillis, InputEvent event) {
    int64_t at = atMillis * 1000;
    event.timestampMicros = at;
    Insert(Scheduled{at, event, nullptr});
}

void HeadlessHost::ScheduleCall(int64_t atMillis, std::function<void(int64_t atMillis)> call) {
    Insert(Scheduled{atMillis * 1000, InputEvent{}, std::move(call)});
}

int64_t HeadlessHost::ScheduleText(int64_t atMillis, const std::string& text) {
    for (char character : text) Schedule(atMillis++, InputEvent::KeyPress(static_cast<int16_t>(character)));
    return atMillis;
}

void HeadlessHost::AnswerMessageBox(int result, int64_t afterMillis) {
    answers.push_back(Answer{result, afterMillis * 1000});
}

void HeadlessHost::MoveDueToPending() {
    while (!scheduled.empty() && scheduled.front().at <= now) {
        Scheduled item = std::move(scheduled.front());
        scheduled.erase(scheduled.begin());
        if (item.call) {
            // It may schedule input at its own time, which is then due at once.
            item.call(item.at / 1000);
            continue;
        }
        if (item.event.kind == InputEvent::Kind::Resize && item.event.target == nullptr) {
            widthPixels = static_cast<int>(item.event.width / TWIPS_PER_PIXEL);
            heightPixels = static_cast<int>(item.event.height / TWIPS_PER_PIXEL);
        }
        pending.push_back(item.event);
    }
}

void HeadlessHost::GiveDueToMessageBox() {
    // A change of the display's or a window's size is for the screens once the box is gone.
    std::erase_if(pending, [](const InputEvent& event) { return event.kind != InputEvent::Kind::Resize; });
    std::erase_if(scheduled, [this](const Scheduled& item) {
        return item.at <= now && !item.call && item.event.kind != InputEvent::Kind::Resize;
    });
}

void HeadlessHost::WaitForInput(int64_t deadlineMicros) {
    MoveDueToPending();
    if (!pending.empty()) return;
    int64_t next = scheduled.empty() ? NO_DEADLINE : scheduled.front().at;
    int64_t target = std::min(deadlineMicros, next);
    if (target == NO_DEADLINE) throw HeadlessIdle();
    if (target > timeLimitMicros) {
        throw HeadlessError("virtual time limit of " + std::to_string(timeLimitMicros / 1000) + " ms passed");
    }
    now = std::max(now, target);
    MoveDueToPending();
}

std::optional<InputEvent> HeadlessHost::PollInput() {
    MoveDueToPending();
    if (pending.empty()) return std::nullopt;
    InputEvent event = pending.front();
    pending.pop_front();
    return event;
}

namespace {

std::string Number(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char character : text) {
        if (character == '\r') {
            quoted += "\\r";
        } else if (character == '\n') {
            quoted += "\\n";
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

std::string Describe(const Control& control) {
    std::string focus = control.Owner().FocusedControl() == &control ? " [focus]" : "";
    switch (control.Kind()) {
    case ControlKind::Label:
        return Quoted(static_cast<const Label&>(control).Caption());
    case ControlKind::Shape:
        return Number(control.Left()) + " " + Number(control.Top()) + " " + Number(control.Width()) + " " +
               Number(control.Height());
    case ControlKind::Button:
        return "button " + Quoted(static_cast<const Button&>(control).Caption()) + focus;
    case ControlKind::TextBox:
        return "box " + Quoted(static_cast<const TextBox&>(control).Text()) + focus;
    case ControlKind::TextView:
        return "text " + Quoted(static_cast<const TextView&>(control).Text().substr(0, 60)) + focus;
    case ControlKind::Frame:
        return "frame";
    case ControlKind::Pane:
        return "pane";
    }
    return {};
}

// Buttons of a control array share their name; the index tells them apart: "Command1(2)".
std::string Key(const Control& control) {
    if (control.Kind() == ControlKind::Button) {
        int index = static_cast<const Button&>(control).Index();
        if (index >= 0) return control.Name() + "(" + std::to_string(index) + ")";
    }
    return control.Name();
}

}  // namespace

HeadlessHost::Frame HeadlessHost::Snapshot() const {
    Frame frame;
    Screen* top = runtime->ActiveScreen();
    if (top != nullptr) {
        frame.top = top->Name();
        for (const Control* control : top->Controls()) {
            if (control->IsShown()) frame.controls[top->Name() + "." + Key(*control)] = Describe(*control);
        }
    }
    for (const Screen* screen : runtime->ZOrder()) {
        if (screen->Bordered()) {
            frame.windows[screen->Name()] = Number(screen->Left()) + " " + Number(screen->Top()) + " " +
                                            Number(screen->Width()) + " " + Number(screen->Height());
        }
    }
    return frame;
}

void HeadlessHost::OnNextPresent(std::function<void(const PresentedFrame&)> callback) {
    presentCallbacks.push_back(std::move(callback));
}

AudioOutput HeadlessHost::DescribeAudio() {
    // Sounds take their durations on the virtual clock; nothing is heard.
    return AudioOutput{true, "headless", "none", 0, 0};
}

void HeadlessHost::Present() {
    DrawFrame();
    // A pass with nothing new to draw presents the frame that already carries every change. Taken
    // out first: a callback may itself present (a message box).
    auto callbacks = std::move(presentCallbacks);
    presentCallbacks.clear();
    for (auto& callback : callbacks) callback(PresentedFrame{now, FrameStamp::VirtualClock});
}

void HeadlessHost::DrawFrame() {
    if (runtime == nullptr || runtime->Revision() == presentedRevision) return;
    presentedRevision = runtime->Revision();
    Frame frame = Snapshot();
    bool newTop = frame.top != lastFrame.top;
    if (newTop) Record("top " + frame.top);
    for (const auto& [name, description] : lastFrame.controls) {
        if (!newTop && !frame.controls.contains(name)) Record("hide " + name);
    }
    for (const auto& [name, description] : frame.controls) {
        auto old = lastFrame.controls.find(name);
        if (newTop || old == lastFrame.controls.end()) {
            Record("show " + name + " " + description);
        } else if (old->second != description) {
            Record("change " + name + " " + description);
        }
    }
    for (const auto& [name, geometry] : lastFrame.windows) {
        if (!frame.windows.contains(name)) Record("window " + name + " hidden");
    }
    for (const auto& [name, geometry] : frame.windows) {
        auto old = lastFrame.windows.find(name);
        if (old == lastFrame.windows.end() || old->second != geometry) Record("window " + name + " " + geometry);
    }
    lastFrame = std::move(frame);
}

int HeadlessHost::ShowMessageBox(const std::string& prompt, int style, const std::string& title) {
    Record("msgbox " + std::to_string(style) + " " + Quoted(title) + " " + Quoted(prompt));
    int result = ID_OK;
    if (!answers.empty()) {
        Answer answer = answers.front();
        answers.pop_front();
        now += answer.afterMicros;
        result = answer.result;
    } else if (style == MB_QUESTION_YES_NO) {
        throw HeadlessError("unanswered question: " + prompt);
    }
    GiveDueToMessageBox();
    Record("answer " + std::to_string(result));
    return result;
}

void HeadlessHost::SetCursorPos(int x, int y) {
    cursorX = std::clamp(x, 0, widthPixels - 1);
    cursorY = std::clamp(y, 0, heightPixels - 1);
    Record("cursor " + std::to_string(cursorX) + " " + std::to_string(cursorY));
}

void HeadlessHost::SetTopMost(Screen& screen) { Record("topmost " + screen.Name()); }

std::string HeadlessHost::Relative(const std::string& path) const {
    // The trace names files the same way on every system: relative, with '/'.
    std::string prefix = JoinPath(currentDirectory, "");
    std::string relative = path.starts_with(prefix) ? path.substr(prefix.size()) : path;
    std::replace(relative.begin(), relative.end(), PATH_SEPARATOR, '/');
    return relative;
}

SoundOnset HeadlessHost::PlaySoundSync(const std::string& path) {
    Record("sound " + Relative(path));
    SoundOnset sound = SoundOnset{now, 0, false, false, true};
    // The thread is given to the sound for its length; a file that cannot be played takes no time.
    if (auto info = ReadWavInfo(path)) {
        sound.onsetMicros = now + soundLatencyMicros;
        sound.durationMicros = info->DurationMicros();
        sound.audible = true;
        // The onset is the one the sound had on the virtual clock, though nothing plays it.
        sound.exact = true;
        now += soundLatencyMicros + info->DurationMicros();
    }
    Record("sound end " + Relative(path));
    return sound;
}

void HeadlessHost::RunAside(const std::function<void()>& work) {
    // Input that falls due meanwhile keeps its scheduled time, as on the real host.
    work();
    now += asideCostMicros;
}

int HeadlessHost::WaveOpen(const std::string& path) {
    if (!ReadWavInfo(path)) {
        Record("wave open failed " + Relative(path));
        return -1;
    }
    int handle = nextWave++;
    waves[handle] = Relative(path);
    Record("wave open " + waves[handle]);
    return handle;
}

void HeadlessHost::WaveRewind(int handle) {
    if (waves.contains(handle)) Record("wave rewind " + waves[handle]);
}

void HeadlessHost::WavePlay(int handle) {
    if (waves.contains(handle)) Record("wave play " + waves[handle]);
}

void HeadlessHost::WaveClose(int handle) {
    auto wave = waves.find(handle);
    if (wave == waves.end()) return;
    Record("wave close " + wave->second);
    waves.erase(wave);
}

void HeadlessHost::Record(std::string what) {
    TraceEntry entry{now, std::move(what)};
    trace.push_back(entry);
    if (onTrace) onTrace(entry);
}

std::vector<TraceEntry> HeadlessHost::Find(const std::string& prefix) const {
    std::vector<TraceEntry> found;
    for (const TraceEntry& entry : trace) {
        if (entry.what.starts_with(prefix)) found.push_back(entry);
    }
    return found;
}

int64_t HeadlessHost::TimeOf(const std::string& prefix, int64_t fromMillis) const {
    for (const TraceEntry& entry : trace) {
        if (entry.micros >= fromMillis * 1000 && entry.what.starts_with(prefix)) return entry.Millis();
    }
    return -1;
}

}  // namespace pelorin
