#include "hosts/sdl/sdl_host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "audio/sdl/sdl_audio.h"
#include "hosts/sdl/canvas.h"
#include "hosts/sdl/displays.h"
#include "hosts/sdl/geometry.h"
#include "hosts/sdl/input_wait.h"
#include "hosts/sdl/key_arrival.h"
#include "hosts/sdl/key_translator.h"
#include "hosts/sdl/message_box.h"
#include "hosts/sdl/painter.h"
#include "hosts/sdl/refresh_presenter.h"
#include "hosts/sdl/sdl_types.h"
#include "hosts/sdl/system_display.h"
#include "hosts/sdl/text.h"
#include "hosts/sdl/text_layout.h"
#include "system/files.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin::sdl {

namespace {

constexpr int WHEEL_LINES = 3;

// Hints that must be set before SDL's video starts.
struct VideoHints {
    VideoHints() { SetVideoHints(); }
};

// The display the screens are shown on; StartError when the machine has no display of that number.
DisplayInfo ChosenDisplay(int number) {
    std::vector<DisplayInfo> displays = ListDisplays();
    if (number < 0 || number >= static_cast<int>(displays.size())) {
        throw StartError("there is no display " + std::to_string(number) + ": this PC has " +
                         std::to_string(displays.size()) + " (0 to " + std::to_string(displays.size() - 1) + ")");
    }
    return displays[static_cast<size_t>(number)];
}

// SDL's software renderer unless SDL_RENDER_DRIVER names another: the screens are a few rectangles
// and lines of text, drawn only when they change, and it costs less CPU and memory than a GPU
// driver, and several times less than the software OpenGL of machines without one.
RendererPtr MakeRenderer(SDL_Window* window) {
    RendererPtr renderer(SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE));
    if (!renderer) renderer.reset(SDL_CreateRenderer(window, -1, 0));
    if (!renderer) throw StartError(std::string("cannot draw into the window: ") + SDL_GetError());
    return renderer;
}

// A window with what draws into it.
struct DrawnWindow {
    DrawnWindow(WindowPtr made, Fonts& fonts, TextViewLayouts& layouts)
        : window(std::move(made)),
          renderer(MakeRenderer(window.get())),
          canvas(*renderer, fonts),
          painter(canvas, layouts) {}

    WindowPtr window;
    RendererPtr renderer;
    Canvas canvas;
    Painter painter;
    PartialDrawing partial;
};

// The window of a bordered screen, such as the debug window.
struct BorderedWindow {
    std::unique_ptr<DrawnWindow> drawn;
    // Where the window was last put, or where the user left it after a resize.
    PixelRect placed;
    std::string caption;
    bool shown = false;
};

}  // namespace

// A display's number, shown big on it while the timing check runs, so that a lab can tell which is which.
struct NumberWindow {
    std::unique_ptr<DrawnWindow> drawn;
    int number = 0;
};

// Everything the host holds, in the order it is made and the reverse of the order it goes.
struct SdlHostState {
    explicit SdlHostState(int displayNumber);

    VideoHints hints;
    Video video;
    TtfLibrary ttf;
    DisplayInfo display;
    // Sized for the display's DPI: every length the drawing takes in twips, points or pixels at 96 dpi
    // comes out at its physical size.
    Fonts fonts{display.dpi};
    TextViewLayouts layouts{fonts};
    int displayWidth = 0;
    int displayHeight = 0;
    std::unique_ptr<DrawnWindow> main;
    // The main window shown at the display's refresh where the display stamps it; null: at the call.
    std::unique_ptr<RefreshPresenter> presenter;
    std::unique_ptr<InputWait> inputWait;
    std::map<Screen*, BorderedWindow> windows;
    std::vector<NumberWindow> numbers;
    std::set<Screen*> topMost;
    Audio audio;

    Runtime* runtime = nullptr;
    KeyTranslator keys;
    std::deque<InputEvent> pending;
    // A button is clicked when the mouse goes up over the one it went down on.
    Control* pressed = nullptr;
    uint64_t presentedRevision = 0;
    // Every window must be drawn whole: it was exposed or resized.
    bool dirty = true;
    // Something may have changed that the revision does not count, such as a message box gone.
    bool changed = false;
    // For the benchmark: every frame drawn and sent whole.
    bool wholeFrames = false;
    // For the benchmark: keys stamped when they are read, after a sound or a flush held the thread.
    bool stampWhenRead = false;
    // The X server's stamp of the key press being turned into key events, for its key-down and the
    // text it types; and how far after its millisecond such a key may have reached the server.
    std::optional<uint32_t> pressStamp;
    std::optional<uint32_t> keyStamp;
    int64_t serverStampSpan = ServerStampSpanNanos();
    bool watchingKeyPresses = false;
    // A caller waits for the next present: one goes out even when nothing changed.
    bool presentAsked = false;
    std::vector<std::function<void(const PresentedFrame&)>> presentCallbacks;
    int64_t lastPresentMicros = 0;
    // Through the presenter: the main window's rectangles drawn and not sent yet (a frame is on its
    // way), the callers waiting for a frame that carries what has been drawn, and the frames sent
    // with the callers each will tell when it is shown.
    std::vector<SDL_Rect> unsent;
    std::vector<std::function<void(const PresentedFrame&)>> drawnCallbacks;
    struct SentFrame {
        uint64_t serial = 0;
        int64_t calledMicros = 0;
        std::vector<std::function<void(const PresentedFrame&)>> callbacks;
    };
    std::deque<SentFrame> sentFrames;
    FrameCounts frames;
    // Drawn over every window's top right-hand corner, above a message box too; none when empty.
    std::string mark;
    // The run's language, for the boxes' buttons.
    Texts texts;
    // The monotonic clock's reading at start, in nanoseconds: NowMicros counts from it.
    int64_t clockStart = 0;
};

SdlHostState::SdlHostState(int displayNumber) : display(ChosenDisplay(displayNumber)), clockStart(MonotonicNanos()) {
    displayWidth = display.width;
    displayHeight = display.height;
    // Placed and sized explicitly on the chosen display: without a window manager the full-screen
    // flag alone leaves the window at its requested size and place.
    WindowPtr window(SDL_CreateWindow(Runtime::TITLE, display.left, display.top, displayWidth, displayHeight,
                                      SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP));
    if (!window) throw StartError(std::string("cannot open a window: ") + SDL_GetError());
    main = std::make_unique<DrawnWindow>(std::move(window), fonts, layouts);
    if (main->canvas.CanPresentParts()) presenter = RefreshPresenter::Open(main->window.get());
    inputWait = std::make_unique<InputWait>(main->window.get());
    SDL_GetWindowSize(main->window.get(), &displayWidth, &displayHeight);
    // Nothing here follows the pointer; its moves would only wake the loop.
    SDL_EventState(SDL_MOUSEMOTION, SDL_DISABLE);
    watchingKeyPresses = WatchKeyPressTimes();
    SDL_StartTextInput();
    SDL_SetWindowInputFocus(main->window.get());
}

namespace {

// The bordered screen a window shows; null for the main window.
Screen* ScreenOfWindow(const SdlHostState& state, Uint32 windowId) {
    for (const auto& [screen, window] : state.windows) {
        if (SDL_GetWindowID(window.drawn->window.get()) == windowId) return screen;
    }
    return nullptr;
}

// The screen under the pointer in a window.
Screen* ScreenUnder(const SdlHostState& state, Uint32 windowId) {
    Screen* screen = ScreenOfWindow(state, windowId);
    if (screen != nullptr) return screen;
    return state.runtime != nullptr ? state.runtime->ActiveScreen() : nullptr;
}

int64_t Micros(const SdlHostState& state, int64_t nanos) { return (nanos - state.clockStart) / 1000; }

void Push(SdlHostState& state, InputEvent event, std::optional<uint32_t> serverStamp = std::nullopt) {
    int64_t arrived = MonotonicNanos();
    if (serverStamp && !state.stampWhenRead) arrived = KeyArrivalNanos(arrived, *serverStamp, state.serverStampSpan);
    event.timestampMicros = (arrived - state.clockStart) / 1000;
    state.pending.push_back(event);
}

// Arrow and page keys scroll a focused text view.
void ScrollFocusedTextView(SdlHostState& state, const SDL_KeyboardEvent& key) {
    Screen* screen = state.runtime != nullptr ? state.runtime->ActiveScreen() : nullptr;
    Control* focused = screen != nullptr ? screen->FocusedControl() : nullptr;
    if (focused == nullptr || focused->Kind() != ControlKind::TextView || !focused->CanFocus()) return;
    auto& view = static_cast<TextView&>(*focused);
    switch (VirtualKey(key.keysym.sym)) {
    case VK_UP: state.layouts.Scroll(view, -1); break;
    case VK_DOWN: state.layouts.Scroll(view, 1); break;
    case VK_PRIOR: state.layouts.Scroll(view, -state.layouts.PageLines(view)); break;
    case VK_NEXT: state.layouts.Scroll(view, state.layouts.PageLines(view)); break;
    default: break;
    }
}

void ProcessMouseButton(SdlHostState& state, const SDL_MouseButtonEvent& button) {
    if (button.button != SDL_BUTTON_LEFT) return;
    Screen* screen = ScreenUnder(state, button.windowID);
    Control* hit = screen != nullptr ? HitTest(*screen, button.x, button.y, state.fonts.TwipsPerPixel()) : nullptr;
    if (button.type == SDL_MOUSEBUTTONDOWN) {
        state.pressed = nullptr;
        if (hit == nullptr) return;
        // Boxes take the focus as the button goes down; buttons click as it comes up over them.
        if (hit->Kind() == ControlKind::Button) {
            state.pressed = hit;
        } else {
            Push(state, InputEvent::Click(*hit));
        }
    } else {
        if (hit != nullptr && hit == state.pressed) Push(state, InputEvent::Click(*hit));
        state.pressed = nullptr;
    }
}

void ProcessWheel(SdlHostState& state, const SDL_MouseWheelEvent& wheel) {
    Screen* screen = ScreenUnder(state, wheel.windowID);
    Control* hit =
        screen != nullptr ? HitTest(*screen, wheel.mouseX, wheel.mouseY, state.fonts.TwipsPerPixel()) : nullptr;
    if (hit == nullptr || hit->Kind() != ControlKind::TextView) return;
    int notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    state.layouts.Scroll(static_cast<TextView&>(*hit), -notches * WHEEL_LINES);
}

float Twips(const SdlHostState& state, int pixels) {
    return static_cast<float>(pixels) * state.fonts.TwipsPerPixel();
}

bool IsNumberWindow(const SdlHostState& state, Uint32 windowId) {
    return std::any_of(state.numbers.begin(), state.numbers.end(), [windowId](const NumberWindow& number) {
        return SDL_GetWindowID(number.drawn->window.get()) == windowId;
    });
}

void ProcessWindowEvent(SdlHostState& state, const SDL_WindowEvent& event) {
    if (IsNumberWindow(state, event.windowID)) {
        if (event.event == SDL_WINDOWEVENT_EXPOSED) state.dirty = true;
        return;
    }
    Screen* screen = ScreenOfWindow(state, event.windowID);
    switch (event.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
        state.dirty = true;
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        state.dirty = true;
        if (screen == nullptr) {
            if (event.data1 == state.displayWidth && event.data2 == state.displayHeight) break;
            state.displayWidth = event.data1;
            state.displayHeight = event.data2;
            Push(state, InputEvent::Resize(nullptr, Twips(state, event.data1), Twips(state, event.data2)));
            break;
        }
        BorderedWindow& window = state.windows.at(screen);
        if (event.data1 == window.placed.w && event.data2 == window.placed.h) break;
        // The user resized it: the screen hears of its new size and may put it back.
        SDL_GetWindowPosition(window.drawn->window.get(), &window.placed.x, &window.placed.y);
        window.placed.x -= state.display.left;
        window.placed.y -= state.display.top;
        window.placed.w = event.data1;
        window.placed.h = event.data2;
        Push(state, InputEvent::Resize(screen, Twips(state, event.data1), Twips(state, event.data2)));
        break;
    }
    case SDL_WINDOWEVENT_CLOSE:
        Push(state, InputEvent::Close(screen));
        break;
    default:
        break;
    }
}

// Turns one SDL event into the core's input events, queued for PollInput: the translation of each
// kind is its own unit's, this only routes.
void ProcessEvent(SdlHostState& state, const SDL_Event& event) {
    switch (event.type) {
    case SDL_SYSWMEVENT:
        // A key press's own event comes just before the key-down and text SDL makes of it.
        state.pressStamp = KeyPressServerMillis(event);
        state.keyStamp.reset();
        break;
    case SDL_KEYDOWN: {
        state.keyStamp = std::exchange(state.pressStamp, std::nullopt);
        Screen* target = ScreenOfWindow(state, event.key.windowID);
        if (target == nullptr) ScrollFocusedTextView(state, event.key);
        for (InputEvent key : state.keys.KeyDown(event.key)) {
            key.target = target;
            Push(state, key, state.keyStamp);
        }
        break;
    }
    case SDL_TEXTINPUT:
        for (InputEvent key : state.keys.Text(event.text.text)) {
            key.target = ScreenOfWindow(state, event.text.windowID);
            Push(state, key, state.keyStamp);
        }
        state.keyStamp.reset();
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        ProcessMouseButton(state, event.button);
        break;
    case SDL_MOUSEWHEEL:
        ProcessWheel(state, event.wheel);
        break;
    case SDL_WINDOWEVENT:
        ProcessWindowEvent(state, event.window);
        break;
    default:
        break;
    }
}

void SettlePresents(SdlHostState& state);

// Sleeps to a time on the monotonic clock: to the deadline itself, because a sleep of mingw-w64's
// runtime can end a little early.
void SleepUntil(int64_t untilNanos) {
    for (int64_t now = MonotonicNanos(); now < untilNanos; now = MonotonicNanos()) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(untilNanos - now));
    }
}

// Takes the system's input as it comes until untilNanos or until done says so, whichever is first,
// sleeping on it in between: every event is stamped as it arrives and queued for PollInput. Nothing
// is handed to the screens and nothing is drawn: the program's thread is given to something else.
void TakeInput(SdlHostState& state, int64_t untilNanos, const std::function<bool()>& done) {
    for (;;) {
        SDL_Event event;
        // Polling also reads the display connection dry, so that the sleep wakes on what comes next.
        while (SDL_PollEvent(&event) != 0) ProcessEvent(state, event);
        SettlePresents(state);
        if (done() || MonotonicNanos() >= untilNanos) return;
        state.inputWait->Sleep(untilNanos);
    }
}

BorderedWindow& WindowFor(SdlHostState& state, Screen& screen) {
    auto found = state.windows.find(&screen);
    if (found != state.windows.end()) return found->second;
    BorderedWindow window;
    window.placed = ToPixels(screen.Left(), screen.Top(), screen.Width(), screen.Height(), state.fonts.TwipsPerPixel());
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
    if (state.topMost.contains(&screen)) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    window.caption = screen.Caption();
    // A screen's place is on the run's display: its left and top count from the display's corner.
    WindowPtr made(SDL_CreateWindow(window.caption.c_str(), state.display.left + window.placed.x,
                                    state.display.top + window.placed.y,
                                    std::max(1, window.placed.w), std::max(1, window.placed.h), flags));
    if (!made) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
    window.drawn = std::make_unique<DrawnWindow>(std::move(made), state.fonts, state.layouts);
    return state.windows.emplace(&screen, std::move(window)).first->second;
}

// Creates, shows, hides and places the bordered screens' windows as the runtime has them.
void SyncWindows(SdlHostState& state) {
    SDL_Window* mainWindow = state.main->window.get();
    std::set<Screen*> visible;
    for (Screen* screen : state.runtime->ZOrder()) {
        if (!screen->Bordered()) continue;
        visible.insert(screen);
        BorderedWindow& window = WindowFor(state, *screen);
        SDL_Window* sdlWindow = window.drawn->window.get();
        PixelRect wanted =
            ToPixels(screen->Left(), screen->Top(), screen->Width(), screen->Height(), state.fonts.TwipsPerPixel());
        if (wanted.x != window.placed.x || wanted.y != window.placed.y) {
            SDL_SetWindowPosition(sdlWindow, state.display.left + wanted.x, state.display.top + wanted.y);
        }
        if (wanted.w != window.placed.w || wanted.h != window.placed.h) {
            SDL_SetWindowSize(sdlWindow, std::max(1, wanted.w), std::max(1, wanted.h));
        }
        window.placed = wanted;
        if (window.caption != screen->Caption()) {
            window.caption = screen->Caption();
            SDL_SetWindowTitle(sdlWindow, window.caption.c_str());
        }
        if (!window.shown) {
            window.shown = true;
            SDL_ShowWindow(sdlWindow);
            // Without a window manager a window shown takes the keyboard; it stays with the screen.
            SDL_SetWindowInputFocus(mainWindow);
        }
    }
    for (auto& [screen, window] : state.windows) {
        if (window.shown && !visible.contains(screen)) {
            window.shown = false;
            SDL_HideWindow(window.drawn->window.get());
            SDL_SetWindowInputFocus(mainWindow);
        }
    }
}

// Draws a window's frame with `paint`: only where it differs from the window's last frame, unless
// the whole window must be drawn or the renderer cannot show parts of it. True when anything went to
// the display; with nothing changed, `presentAnyway` shows the window's pixels as they are.
bool DrawWindow(SdlHostState& state, DrawnWindow& window, bool whole, bool presentAnyway,
                const std::function<void()>& paint) {
    Canvas& canvas = window.canvas;
    if (state.wholeFrames || !canvas.CanPresentParts()) {
        paint();
        canvas.Present();
        return true;
    }
    std::vector<SDL_Rect> rects = window.partial.Draw(canvas, whole, paint);
    if (rects.empty()) {
        if (!presentAnyway) return false;
        rects = {canvas.Whole()};
    }
    if (&window == state.main.get() && state.presenter != nullptr) {
        // Sent at the refresh by SettlePresents, with whatever is drawn until then.
        canvas.FinishFrame();
        state.unsent.insert(state.unsent.end(), rects.begin(), rects.end());
        return true;
    }
    canvas.PresentParts(*window.window, rects);
    return true;
}

// The mark: white bold text on orange, a colour no screen uses, in the window's top right-hand corner.
void DrawMark(SdlHostState& state, Canvas& canvas) {
    constexpr Color MARK_COLOR{255, 128, 0};
    if (state.mark.empty()) return;
    const int margin = state.fonts.Scaled(6);
    const int padding = state.fonts.Scaled(8);
    TTF_Font& font = state.fonts.Get(12, true);
    int width = canvas.TextWidth(font, state.mark) + 2 * padding;
    int height = state.fonts.LineSkip(font) + padding;
    SDL_Rect window = canvas.Whole();
    SDL_Rect rect{window.w - width - margin, margin, width, height};
    canvas.BeginItem(&state.mark);
    canvas.Fill(rect, MARK_COLOR);
    canvas.Text(font, state.mark, rect.x + padding, rect.y + padding / 2, WHITE);
}

// A display's number in black on white, as large as its window takes it.
void DrawNumber(SdlHostState& state, NumberWindow& number) {
    Canvas& canvas = number.drawn->canvas;
    SDL_Rect whole = canvas.Whole();
    canvas.BeginItem(&number);
    canvas.Clear(WHITE);
    canvas.Outline(whole, BLACK);
    // Points for a digit about two thirds of the window's height at this display's DPI.
    float points = static_cast<float>(whole.h) * 0.6f * 72.0f / state.fonts.Dpi();
    TTF_Font& font = state.fonts.Get(points, true);
    std::string text = std::to_string(number.number);
    int width = canvas.TextWidth(font, text);
    int height = state.fonts.LineSkip(font);
    canvas.Text(font, text, (whole.w - width) / 2, (whole.h - height) / 2, BLACK);
    canvas.Present();
}

void Tell(std::vector<std::function<void(const PresentedFrame&)>> callbacks, const PresentedFrame& frame) {
    for (auto& callback : callbacks) callback(frame);
}

// The presenter failed: the frames it did not show are told at their calls, and the window goes
// back to SDL's present, drawn whole, with the callers still waiting for their frame.
void GiveUpPresenter(SdlHostState& state) {
    state.presenter.reset();
    for (auto& callback : std::exchange(state.drawnCallbacks, {})) state.presentCallbacks.push_back(std::move(callback));
    state.unsent.clear();
    state.dirty = true;
    state.presentAsked = true;
    while (!state.sentFrames.empty()) {
        SdlHostState::SentFrame frame = std::move(state.sentFrames.front());
        state.sentFrames.pop_front();
        Tell(std::move(frame.callbacks), PresentedFrame{frame.calledMicros, FrameStamp::PresentCall});
    }
}

// Tells the callers of every frame shown since the last look the refresh it began at, and sends the
// next frame once the one before is shown. Never waits. Each frame is taken out before its callers
// are told: a callback may itself present.
void SettlePresents(SdlHostState& state) {
    RefreshPresenter* presenter = state.presenter.get();
    if (presenter == nullptr) return;
    for (const ShownFrame& shown : presenter->TakeShown()) {
        while (!state.sentFrames.empty() && state.sentFrames.front().serial <= shown.serial) {
            SdlHostState::SentFrame frame = std::move(state.sentFrames.front());
            state.sentFrames.pop_front();
            if (frame.serial != shown.serial || !shown.stamped) {
                Tell(std::move(frame.callbacks), PresentedFrame{frame.calledMicros, FrameStamp::PresentCall});
                continue;
            }
            ++state.frames.shown;
            if (shown.targetMsc != 0 && shown.msc > shown.targetMsc) ++state.frames.missed;
            Tell(std::move(frame.callbacks), PresentedFrame{Micros(state, shown.ustNanos), FrameStamp::DisplayRefresh});
        }
    }
    if (presenter->Failed()) return GiveUpPresenter(state);
    // A caller waits for a frame even when nothing in it changed: one pixel goes out again.
    if (!state.drawnCallbacks.empty() && state.unsent.empty()) state.unsent.push_back(SDL_Rect{0, 0, 1, 1});
    if (presenter->Pending() || state.unsent.empty()) return;
    SDL_Surface* surface = SDL_GetWindowSurface(state.main->window.get());
    if (surface == nullptr) return GiveUpPresenter(state);
    const uint64_t serial = presenter->Present(*surface, std::exchange(state.unsent, {}));
    state.lastPresentMicros = Micros(state, MonotonicNanos());
    state.sentFrames.push_back({serial, state.lastPresentMicros, std::exchange(state.drawnCallbacks, {})});
}

// Hands every waiting caller the time of the last present: the frame on display carries all the
// changes made before it was asked for. Through the presenter they wait for the frame that carries
// what is drawn now, and are told at its refresh. Taken out first: a callback may itself present.
void TellPresented(SdlHostState& state) {
    if (state.presenter != nullptr) {
        for (auto& callback : std::exchange(state.presentCallbacks, {})) state.drawnCallbacks.push_back(std::move(callback));
        return SettlePresents(state);
    }
    Tell(std::exchange(state.presentCallbacks, {}), PresentedFrame{state.lastPresentMicros, FrameStamp::PresentCall});
}

// Brings every window up to date, with a message box over the main one when one is up.
void Redraw(SdlHostState& state, const ModalMessageBox* box, bool presentAnyway) {
    bool whole = std::exchange(state.dirty, false);
    DrawnWindow& main = *state.main;
    Screen* active = state.runtime->ActiveScreen();
    bool presented = DrawWindow(state, main, whole, presentAnyway, [&] {
        if (active != nullptr) {
            main.painter.DrawScreen(*active, true);
        } else {
            main.canvas.BeginItem(&main);
            main.canvas.Clear(BUTTON_FACE);
        }
        if (box != nullptr) {
            main.canvas.BeginItem(box);
            box->Draw(main.canvas);
        }
        DrawMark(state, main.canvas);
    });
    if (whole) {
        for (NumberWindow& number : state.numbers) DrawNumber(state, number);
    }
    for (auto& [screen, window] : state.windows) {
        if (!window.shown) continue;
        DrawnWindow& drawn = *window.drawn;
        Screen& shown = *screen;
        bool drawnNow = DrawWindow(state, drawn, whole, false, [&] {
            drawn.painter.DrawScreen(shown, false);
            DrawMark(state, drawn.canvas);
        });
        presented = drawnNow || presented;
    }
    if (presented) state.lastPresentMicros = Micros(state, MonotonicNanos());
    TellPresented(state);
}

// Presents the main window again as it stands, for a caller that waits for the frame after a change
// that altered no pixel (a letter drawn where the same letter stands): one pixel goes out, which costs
// next to nothing and still makes a frame presented after the change.
void PresentUnchanged(SdlHostState& state) {
    Canvas& canvas = state.main->canvas;
    if (state.presenter != nullptr) {
        state.unsent.push_back(SDL_Rect{0, 0, 1, 1});
        return;
    }
    if (canvas.CanPresentParts()) {
        canvas.PresentParts(*state.main->window, {SDL_Rect{0, 0, 1, 1}});
    } else {
        canvas.Present();
    }
    state.lastPresentMicros = Micros(state, MonotonicNanos());
}

// Brings the windows up to date when anything visible changed or a window needs drawing again.
void Refresh(SdlHostState& state) {
    SettlePresents(state);
    if (state.runtime == nullptr) return;
    bool asked = std::exchange(state.presentAsked, false);
    if (state.runtime->Revision() == state.presentedRevision && !state.dirty && !state.changed) {
        if (asked && !state.wholeFrames) PresentUnchanged(state);
        TellPresented(state);
        return;
    }
    state.presentedRevision = state.runtime->Revision();
    state.changed = false;
    SyncWindows(state);
    Redraw(state, nullptr, false);
}

}  // namespace

SdlHost::SdlHost(int displayNumber) try : state(std::make_unique<SdlHostState>(displayNumber)) {
} catch (const StartError&) {
    throw;
} catch (const std::exception& error) {
    throw StartError(error.what());
}

SdlHost::~SdlHost() = default;

void SdlHost::Attach(Runtime& runtime) { state->runtime = &runtime; }

// NOTE: the kernel's monotonic clock rather than SDL's raw one, so that the deadlines of the waits
// are times its timers can be set for.
int64_t SdlHost::NowMicros() { return (MonotonicNanos() - state->clockStart) / 1000; }

// A key the X server stamped and the program read later is stamped up to its stamp's span before the
// read; as long again covers the server's own time from its stamp to sending the key.
int64_t SdlHost::StampLeadMicros() { return state->watchingKeyPresses ? 2 * state->serverStampSpan / 1000 : 0; }

int SdlHost::DisplayWidthPixels() { return state->displayWidth; }
int SdlHost::DisplayHeightPixels() { return state->displayHeight; }
float SdlHost::TwipsPerPixel() { return state->fonts.TwipsPerPixel(); }

DisplayInfo SdlHost::DescribeDisplay() {
    DisplayInfo display = state->display;
    display.width = state->displayWidth;
    display.height = state->displayHeight;
    display.refreshHz = DisplayRefreshHz();
    return display;
}

KeyboardLayout SdlHost::DescribeKeyboard(std::string_view keys) { return ReadKeyboardLayout(keys); }

void SdlHost::ShowDisplayNumbers() {
    if (!state->numbers.empty()) return;
    for (const DisplayInfo& display : ListDisplays()) {
        if (display.number == state->display.number) continue;
        // A square a third of the display's height, in its middle: the other display stays usable.
        int side = std::max(64, display.height / 3);
        WindowPtr made(SDL_CreateWindow("Pelorin display number", display.left + (display.width - side) / 2,
                                        display.top + (display.height - side) / 2, side, side,
                                        SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR));
        if (!made) continue;
        NumberWindow number{std::make_unique<DrawnWindow>(std::move(made), state->fonts, state->layouts), display.number};
        DrawNumber(*state, number);
        state->numbers.push_back(std::move(number));
    }
    // Without a window manager a window shown takes the keyboard; it stays with the screens.
    SDL_SetWindowInputFocus(state->main->window.get());
}

std::string SdlHost::CurrentDirectory() { return CurrentFolder(); }

CalendarTime SdlHost::CalendarNow() { return SystemCalendarNow(); }

void SdlHost::UseTexts(const Texts& texts) { state->texts = texts; }

void SdlHost::SetMark(std::string text) {
    state->mark = std::move(text);
    state->dirty = true;
}

void SdlHost::WaitForInput(int64_t deadlineMicros) {
    int64_t deadline = deadlineMicros == NO_DEADLINE ? NO_DEADLINE : state->clockStart + deadlineMicros * 1000;
    for (;;) {
        if (!state->pending.empty()) return;
        // An expose or a scroll while waiting is drawn at once, not when the wait ends.
        Refresh(*state);
        if (MonotonicNanos() >= deadline) return;
        SDL_Event event;
        // Polling also reads the display connection dry, so that the sleep wakes on what comes next.
        if (SDL_PollEvent(&event) != 0) {
            ProcessEvent(*state, event);
            continue;
        }
        state->inputWait->Sleep(deadline);
    }
}

std::optional<InputEvent> SdlHost::PollInput() {
    SDL_Event event;
    while (state->pending.empty() && SDL_PollEvent(&event) != 0) ProcessEvent(*state, event);
    if (state->pending.empty()) return std::nullopt;
    InputEvent next = state->pending.front();
    state->pending.pop_front();
    return next;
}

void SdlHost::Present() { Refresh(*state); }

int SdlHost::ShowMessageBox(const std::string& prompt, int style, const std::string& title) {
    // Keys and clicks already queued behind the box's cause were typed at it: they are the box's, and
    // go with it. A new size is still the screens'.
    std::erase_if(state->pending,
                  [](const InputEvent& event) { return event.kind != InputEvent::Kind::Resize; });
    ModalMessageBox box(prompt, style, title, state->texts);
    box.LayOut(state->main->canvas, state->displayWidth, state->displayHeight);
    int answer = box.Run({SDL_GetWindowID(state->main->window.get()), state->keys,
                          [this, &box] { Redraw(*state, &box, true); },
                          [this](const SDL_WindowEvent& event) { ProcessWindowEvent(*state, event); },
                          [this] { SettlePresents(*state); }});
    // The screen comes back where the box was.
    state->changed = true;
    return answer;
}

void SdlHost::SetCursorPos(int x, int y) {
    SDL_WarpMouseInWindow(state->main->window.get(), std::clamp(x, 0, state->displayWidth - 1),
                          std::clamp(y, 0, state->displayHeight - 1));
}

void SdlHost::SetTopMost(Screen& screen) {
    state->topMost.insert(&screen);
    auto found = state->windows.find(&screen);
    if (found != state->windows.end()) SDL_SetWindowAlwaysOnTop(found->second.drawn->window.get(), SDL_TRUE);
}

SoundOnset SdlHost::PlaySoundSync(const std::string& path) {
    if (state->stampWhenRead) {
        state->audio.PlaySync(path, [](int64_t untilNanos) { SleepUntil(untilNanos); });
    } else {
        state->audio.PlaySync(path, [this](int64_t untilNanos) { TakeInput(*state, untilNanos, [] { return false; }); });
    }
    PlayedSound played = state->audio.LastPlayed();
    return {Micros(*state, played.onsetNanos), played.durationNanos / 1000, played.audible, played.exact};
}

void SdlHost::WaitForSoundOutput() {
    state->audio.WaitUntilPlaying([this](int64_t untilNanos) { TakeInput(*state, untilNanos, [] { return false; }); });
}

void SdlHost::RunAside(const std::function<void()>& work) {
    if (state->stampWhenRead) return work();
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished.store(true);
        // Wakes the wait below: an event pushed from another thread ends its sleep.
        SDL_Event wake{};
        wake.type = SDL_USEREVENT;
        SDL_PushEvent(&wake);
    });
    TakeInput(*state, NO_DEADLINE, [&finished] { return finished.load(); });
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

void SdlHost::OnNextPresent(std::function<void(const PresentedFrame&)> callback) {
    state->presentCallbacks.push_back(std::move(callback));
    state->presentAsked = true;
}

void SdlHost::StampKeysWhenRead() { state->stampWhenRead = true; }

void SdlHost::UseWholeFramesAndSdlSound() {
    FinishPresents();
    state->presenter.reset();
    state->wholeFrames = true;
    state->audio.UseSdlOutputFromNextBuffer();
}

int SdlHost::DisplayRefreshHz() {
    SDL_DisplayMode mode{};
    int display = SDL_GetWindowDisplayIndex(state->main->window.get());
    if (SDL_GetDesktopDisplayMode(std::max(display, 0), &mode) != 0) return 0;
    return mode.refresh_rate;
}

void SdlHost::FinishPresents() {
    // Two refreshes at 60 Hz for each frame still to go out: the one on its way and the one after.
    constexpr int64_t SHOWN_WITHIN_NANOS = 40'000'000;
    for (int tries = 0; tries < 3 && state->presenter != nullptr; ++tries) {
        SettlePresents(*state);
        if (state->presenter == nullptr || state->sentFrames.empty()) break;
        state->presenter->AwaitShown(SHOWN_WITHIN_NANOS);
    }
    if (state->presenter == nullptr || state->sentFrames.empty()) return;
    // The display stopped saying which frames it showed: those are told at their calls, and the rest
    // of the run is presented at the call.
    GiveUpPresenter(*state);
    Refresh(*state);
}

FrameCounts SdlHost::CountFrames() {
    SettlePresents(*state);
    FrameCounts counts = state->frames;
    counts.refreshMicros = state->presenter != nullptr ? static_cast<double>(state->presenter->RefreshNanos()) / 1000.0 : 0;
    counts.stamp = state->presenter != nullptr ? FrameStamp::DisplayRefresh : FrameStamp::PresentCall;
    return counts;
}

AudioOutput SdlHost::DescribeAudio() { return state->audio.Describe(); }

int SdlHost::WaveOpen(const std::string& path) { return state->audio.Open(path); }
void SdlHost::WaveRewind(int handle) { state->audio.Rewind(handle); }
void SdlHost::WavePlay(int handle) { state->audio.Play(handle); }
void SdlHost::WaveClose(int handle) { state->audio.Close(handle); }

}  // namespace pelorin::sdl
