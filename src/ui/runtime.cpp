#include "ui/runtime.h"

#include <algorithm>
#include <utility>

#include "system/files.h"
#include "ui/control.h"
#include "ui/screen.h"
#include "ui/timer.h"

namespace pelorin {

Runtime::Runtime(Host& host) : host(host) { host.Attach(*this); }

Runtime::~Runtime() = default;

float Runtime::DisplayWidth() { return static_cast<float>(host.DisplayWidthPixels()) * host.TwipsPerPixel(); }
float Runtime::DisplayHeight() { return static_cast<float>(host.DisplayHeightPixels()) * host.TwipsPerPixel(); }

void Runtime::DoEvents() {
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& counted) : depth(++counted) {}
        ~DepthGuard() { --depth; }
    } guard(eventDepth);
    host.Present();
    for (;;) {
        // Taken before asking: the host stamps an event as it reads it, or at most its lead before,
        // so one stamped before this time less the lead is in the queue by now.
        int64_t asked = host.NowMicros() - host.StampLeadMicros();
        std::optional<InputEvent> event = host.PollInput();
        if (!event) {
            InputHandled(asked);
            break;
        }
        Dispatch(*event);
    }
    FireDueTimers(host.NowMicros());
}

void Runtime::InputHandled(int64_t through) {
    if (through <= inputHandledThrough) return;
    inputHandledThrough = through;
    if (inputHandled) inputHandled(through);
}

void Runtime::WaitPass() {
    host.Present();
    int64_t due = NextTimerDue();
    if (due > host.NowMicros()) host.WaitForInput(due);
    DoEvents();
}

int64_t Runtime::NextTimerDue() const {
    int64_t due = NO_DEADLINE;
    for (const Timer* timer : timers) due = std::min(due, timer->DueAt());
    return due;
}

void Runtime::FireDueTimers(int64_t now) {
    std::vector<Timer*> due;
    for (Timer* timer : timers) {
        if (timer->DueAt() <= now) due.push_back(timer);
    }
    std::stable_sort(due.begin(), due.end(), [](Timer* a, Timer* b) { return a->DueAt() < b->DueAt(); });
    for (Timer* timer : due) {
        // A handler that ran before may have stopped or restarted this one.
        bool alive = std::find(timers.begin(), timers.end(), timer) != timers.end();
        if (!alive || timer->DueAt() > now) continue;
        timer->Fire(host.NowMicros());
    }
}

Screen* Runtime::ActiveScreen() const {
    for (auto it = zOrder.rbegin(); it != zOrder.rend(); ++it) {
        if (!(*it)->Bordered()) return *it;
    }
    return nullptr;
}

void Runtime::BringToFront(Screen& screen) {
    std::erase(zOrder, &screen);
    zOrder.push_back(&screen);
    Changed();
    UpdateActive();
}

void Runtime::RemoveFromDisplay(Screen& screen) {
    std::erase(zOrder, &screen);
    Changed();
    UpdateActive();
}

void Runtime::UpdateActive() {
    Screen* front = ActiveScreen();
    if (front == active) return;
    active = front;
    if (front == nullptr) return;
    if (front->focused == nullptr || !front->focused->CanFocus()) {
        // A screen that comes up without a focused control gives it to its first tab stop.
        Control* first = nullptr;
        for (Control* control : front->controls) {
            if (control->CanFocus() && (first == nullptr || control->TabIndex() < first->TabIndex())) first = control;
        }
        front->focused = first;
    }
    front->Form_Activate();
}

bool Runtime::SetFocus(Control& control) {
    Screen& screen = control.Owner();
    if (!control.CanFocus()) return false;
    if (screen.focused == &control) return true;
    Control* leaving = screen.focused;
    if (leaving != nullptr && leaving->Kind() == ControlKind::TextBox) {
        auto& box = static_cast<TextBox&>(*leaving);
        if (box.onValidate) {
            bool cancel = false;
            box.onValidate(cancel);
            if (cancel) return false;
        }
    }
    // The validation may itself have moved the focus; the move asked for still wins.
    screen.focused = &control;
    Changed();
    return true;
}

void Runtime::PutFocus(Control& control) {
    if (!control.CanFocus()) return;
    control.Owner().focused = &control;
    Changed();
}

void Runtime::Dispatch(const InputEvent& event) {
    switch (event.kind) {
    case InputEvent::Kind::KeyPress:
    case InputEvent::Kind::KeyDown: {
        Screen* screen = event.target != nullptr ? event.target : ActiveScreen();
        if (screen == nullptr || !screen->Visible()) return;
        if (event.kind == InputEvent::Kind::KeyPress) {
            DispatchKeyPress(*screen, event);
        } else {
            DispatchKeyDown(*screen, event);
        }
        return;
    }
    case InputEvent::Kind::Click:
        if (event.control != nullptr && event.control->IsShown() && event.control->Owner().Visible()) {
            DispatchClick(*event.control);
        }
        return;
    case InputEvent::Kind::Close:
        if (event.target != nullptr && event.target->Bordered()) {
            event.target->Unload();
        } else if (closeHandler) {
            closeHandler();
        }
        return;
    case InputEvent::Kind::Resize:
        if (event.target != nullptr) {
            Screen& screen = *event.target;
            screen.Move(screen.Left(), screen.Top(), event.width, event.height);
        } else {
            ResizeFullScreens();
        }
        return;
    }
}

namespace {

Control* ShownFocus(const Screen& screen) {
    Control* focused = screen.FocusedControl();
    return focused != nullptr && focused->CanFocus() ? focused : nullptr;
}

bool IsTextBox(const Control* control) { return control != nullptr && control->Kind() == ControlKind::TextBox; }

}  // namespace

void Runtime::DispatchKeyPress(Screen& screen, const InputEvent& event) {
    Control* focused = ShownFocus(screen);
    // One press is one answer: a held key repeats only into a text box.
    if (event.repeat && !IsTextBox(focused)) return;
    int16_t keyAscii = event.keyAscii;
    if (screen.KeyPreview() || focused == nullptr) {
        screen.Form_KeyPressAt(keyAscii, event);
        if (keyAscii == 0) return;
        // The handler may have moved the focus or ended in another screen's wait.
        focused = ShownFocus(screen);
    }
    if (IsTextBox(focused)) {
        auto& box = static_cast<TextBox&>(*focused);
        if (box.onKeyPress) box.onKeyPress(keyAscii);
        if (keyAscii != 0 && box.CanFocus()) box.ApplyKey(keyAscii);
    } else if (focused != nullptr && focused->Kind() == ControlKind::Button &&
               (keyAscii == KEY_RETURN || keyAscii == KEY_SPACE)) {
        static_cast<Button&>(*focused).Click();
    }
}

void Runtime::DispatchKeyDown(Screen& screen, const InputEvent& event) {
    Control* focused = ShownFocus(screen);
    if (event.repeat && !IsTextBox(focused)) return;
    if (screen.KeyPreview() || focused == nullptr) screen.Form_KeyDownAt(event.keyCode, event.shift, event);
    if (event.keyCode == KEY_TAB && (event.shift & CTRL_MASK) == 0) MoveFocus(screen, (event.shift & SHIFT_MASK) != 0);
}

void Runtime::DispatchClick(Control& control) {
    Screen& screen = control.Owner();
    // A click that would move the focus out of a box whose validation refuses has no further effect.
    if (control.CanFocus() && screen.focused != &control && !SetFocus(control)) return;
    if (control.Kind() == ControlKind::Button) static_cast<Button&>(control).Click();
}

void Runtime::MoveFocus(Screen& screen, bool backwards) {
    std::vector<Control*> stops;
    for (Control* control : screen.controls) {
        if (control->CanFocus()) stops.push_back(control);
    }
    if (stops.empty()) return;
    std::stable_sort(stops.begin(), stops.end(),
                     [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
    auto current = std::find(stops.begin(), stops.end(), ShownFocus(screen));
    size_t count = stops.size();
    size_t next;
    if (current == stops.end()) {
        next = backwards ? count - 1 : 0;
    } else {
        size_t index = static_cast<size_t>(current - stops.begin());
        next = backwards ? (index + count - 1) % count : (index + 1) % count;
    }
    SetFocus(*stops[next]);
}

void Runtime::ResizeFullScreens() {
    for (Screen* screen : screens) {
        if (!screen->Bordered() && screen->Loaded()) screen->Move(0, 0, DisplayWidth(), DisplayHeight());
    }
}

int Runtime::MsgBox(const std::string& prompt, int style, const std::string& title) {
    host.Present();
    int64_t shown = host.NowMicros();
    // What is queued now goes to the box: no screen will handle it.
    InputHandled(shown);
    int answer = host.ShowMessageBox(prompt, style, title);
    // The box is modal: every timer held while it was up and goes on with the time it had left, so a
    // question answered No leaves a block exactly where it was.
    int64_t held = host.NowMicros() - shown;
    for (Timer* timer : timers) timer->Hold(held);
    return answer;
}

SoundOnset Runtime::PlaySound(const std::string& path) {
    // What the handler changed is on the display before the thread is given to the sound.
    host.Present();
    return host.PlaySoundSync(path);
}

void Runtime::DoWaitWork() {
    if (waitWork.empty()) return;
    // The wait's screen is on the display before the work takes the thread.
    host.Present();
    // Taken out first: the work may itself wait.
    for (auto& work : std::exchange(waitWork, {})) work();
}

void Runtime::SetCursorPos(int x, int y) { host.SetCursorPos(x, y); }

uint32_t Runtime::GetTickCount() { return static_cast<uint32_t>(host.NowMicros() / 1000); }

std::string Runtime::DataPath(const std::string& relativeName) {
    return JoinPath(host.CurrentDirectory(), relativeName);
}

void Runtime::End() {
    for (int handle : openWaves) host.WaveClose(handle);
    openWaves.clear();
    throw ProgramEnded();
}

void Runtime::AddScreen(Screen* screen) { screens.push_back(screen); }

void Runtime::RemoveScreen(Screen* screen) {
    std::erase(screens, screen);
    std::erase(zOrder, screen);
    if (active == screen) active = nullptr;
}

void Runtime::AddTimer(Timer* timer) { timers.push_back(timer); }
void Runtime::RemoveTimer(Timer* timer) { std::erase(timers, timer); }
void Runtime::AddWave(int handle) { openWaves.push_back(handle); }
void Runtime::RemoveWave(int handle) { std::erase(openWaves, handle); }

}  // namespace pelorin
