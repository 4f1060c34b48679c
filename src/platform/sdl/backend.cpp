#include "platform/sdl/backend.h"

#include <algorithm>
#include <filesystem>

#include "platform/control.h"
#include "platform/runtime.h"
#include "platform/screen.h"
#include "platform/sdl/geometry.h"

namespace pelorin::sdl {

namespace {

constexpr int WHEEL_LINES = 3;

int VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 112 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 97 + (key - SDLK_KP_1);
    switch (key) {
    case SDLK_BACKSPACE: return KEY_BACK;
    case SDLK_TAB: return KEY_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return KEY_RETURN;
    case SDLK_ESCAPE: return KEY_ESCAPE;
    case SDLK_SPACE: return KEY_SPACE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_KP_0: return 96;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return 0;
    }
}

int ShiftState(Uint16 mod) {
    int shift = 0;
    if ((mod & KMOD_SHIFT) != 0) shift |= SHIFT_MASK;
    if ((mod & KMOD_CTRL) != 0) shift |= CTRL_MASK;
    if ((mod & KMOD_ALT) != 0) shift |= ALT_MASK;
    return shift;
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

}  // namespace

VideoHints::VideoHints() {
    // Ctrl+C and kill end the program as usual instead of arriving as a close request.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A vsync'd present would hold the one thread for a whole frame.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    // The full-screen window stays when the debug window or another program takes the keyboard.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // The software renderer's frames go to the window directly, not through an OpenGL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
}

Backend::Backend() try {
    clockStart = MonotonicNanos();
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) throw StartError(std::string("no display: ") + SDL_GetError());
    displayWidth = mode.w;
    displayHeight = mode.h;
    // Placed and sized explicitly: without a window manager the full-screen flag alone leaves the
    // window at its requested size and place.
    mainWindow.reset(SDL_CreateWindow(Runtime::TITLE, 0, 0, displayWidth, displayHeight,
                                      SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP));
    if (!mainWindow) throw StartError(std::string("cannot open a window: ") + SDL_GetError());
    mainRenderer = MakeRenderer(mainWindow.get());
    mainPainter = std::make_unique<Painter>(*mainRenderer, fonts, layouts);
    inputWait = std::make_unique<InputWait>(mainWindow.get());
    SDL_GetWindowSize(mainWindow.get(), &displayWidth, &displayHeight);
    // Nothing here follows the pointer; its moves would only wake the loop.
    SDL_EventState(SDL_MOUSEMOTION, SDL_DISABLE);
    SDL_StartTextInput();
    SDL_SetWindowInputFocus(mainWindow.get());
} catch (const StartError&) {
    throw;
} catch (const std::exception& error) {
    throw StartError(error.what());
}

Backend::~Backend() = default;

// NOTE: the kernel's monotonic clock rather than SDL's raw one, so that the deadlines of the waits
// are times its timers can be set for.
int64_t Backend::NowMicros() { return (MonotonicNanos() - clockStart) / 1000; }

std::string Backend::CurrentDirectory() { return std::filesystem::current_path().string(); }

void Backend::WaitForInput(int64_t deadlineMicros) {
    int64_t deadline = deadlineMicros == NO_DEADLINE ? NO_DEADLINE : clockStart + deadlineMicros * 1000;
    for (;;) {
        if (!pending.empty()) return;
        // An expose or a scroll while waiting is drawn at once, not when the wait ends.
        Present();
        if (MonotonicNanos() >= deadline) return;
        SDL_Event event;
        // Polling also reads the display connection dry, so that the sleep wakes on what comes next.
        if (SDL_PollEvent(&event) != 0) {
            ProcessEvent(event);
            continue;
        }
        inputWait->Sleep(deadline);
    }
}

std::optional<InputEvent> Backend::PollInput() {
    SDL_Event event;
    while (pending.empty() && SDL_PollEvent(&event) != 0) ProcessEvent(event);
    if (pending.empty()) return std::nullopt;
    InputEvent next = pending.front();
    pending.pop_front();
    return next;
}

void Backend::Push(InputEvent event, Screen* target) {
    event.target = target;
    event.timestampMicros = NowMicros();
    pending.push_back(event);
}

void Backend::Click(Control* control) {
    InputEvent event;
    event.kind = InputEvent::Kind::Click;
    event.control = control;
    Push(event, nullptr);
}

Screen* Backend::ScreenOfWindow(Uint32 windowId) const {
    for (const auto& [screen, window] : windows) {
        if (SDL_GetWindowID(window.window.get()) == windowId) return screen;
    }
    return nullptr;
}

Screen* Backend::ScreenUnder(Uint32 windowId) const {
    Screen* screen = ScreenOfWindow(windowId);
    if (screen != nullptr) return screen;
    return runtime != nullptr ? runtime->ActiveScreen() : nullptr;
}

void Backend::ProcessEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_KEYDOWN:
        ProcessKeyDown(event.key);
        break;
    case SDL_TEXTINPUT:
        for (const InputEvent& key : keys.Text(event.text.text)) Push(key, ScreenOfWindow(event.text.windowID));
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (event.button.button != SDL_BUTTON_LEFT) break;
        Screen* screen = ScreenUnder(event.button.windowID);
        Control* hit = screen != nullptr ? HitTest(*screen, event.button.x, event.button.y) : nullptr;
        if (event.type == SDL_MOUSEBUTTONDOWN) {
            pressed = nullptr;
            if (hit == nullptr) break;
            // Boxes take the focus as the button goes down; buttons click as it comes up over them.
            if (hit->Kind() == ControlKind::Button) {
                pressed = hit;
            } else {
                Click(hit);
            }
        } else {
            if (hit != nullptr && hit == pressed) Click(hit);
            pressed = nullptr;
        }
        break;
    }
    case SDL_MOUSEWHEEL: {
        Screen* screen = ScreenUnder(event.wheel.windowID);
        Control* hit = screen != nullptr ? HitTest(*screen, event.wheel.mouseX, event.wheel.mouseY) : nullptr;
        if (hit == nullptr || hit->Kind() != ControlKind::TextView) break;
        int notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        layouts.Scroll(static_cast<TextView&>(*hit), -notches * WHEEL_LINES);
        break;
    }
    case SDL_WINDOWEVENT:
        ProcessWindowEvent(event.window);
        break;
    default:
        break;
    }
}

void Backend::ProcessKeyDown(const SDL_KeyboardEvent& key) {
    int virtualKey = VirtualKey(key.keysym.sym);
    Screen* target = ScreenOfWindow(key.windowID);
    if (target == nullptr) ScrollFocusedTextView(virtualKey);
    for (const InputEvent& event : keys.KeyDown(virtualKey, ShiftState(key.keysym.mod), key.repeat != 0)) {
        Push(event, target);
    }
}

void Backend::ScrollFocusedTextView(int virtualKey) {
    Screen* screen = runtime != nullptr ? runtime->ActiveScreen() : nullptr;
    Control* focused = screen != nullptr ? screen->FocusedControl() : nullptr;
    if (focused == nullptr || focused->Kind() != ControlKind::TextView || !focused->CanFocus()) return;
    auto& view = static_cast<TextView&>(*focused);
    switch (virtualKey) {
    case VK_UP: layouts.Scroll(view, -1); break;
    case VK_DOWN: layouts.Scroll(view, 1); break;
    case VK_PRIOR: layouts.Scroll(view, -layouts.PageLines(view)); break;
    case VK_NEXT: layouts.Scroll(view, layouts.PageLines(view)); break;
    default: break;
    }
}

void Backend::ProcessWindowEvent(const SDL_WindowEvent& event) {
    Screen* screen = ScreenOfWindow(event.windowID);
    switch (event.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
        dirty = true;
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        dirty = true;
        InputEvent resize;
        resize.kind = InputEvent::Kind::Resize;
        if (screen == nullptr) {
            if (event.data1 == displayWidth && event.data2 == displayHeight) break;
            displayWidth = event.data1;
            displayHeight = event.data2;
            Push(resize, nullptr);
            break;
        }
        BorderedWindow& window = windows.at(screen);
        if (event.data1 == window.placed.w && event.data2 == window.placed.h) break;
        // The user resized it: the screen hears of its new size and may put it back.
        SDL_GetWindowPosition(window.window.get(), &window.placed.x, &window.placed.y);
        window.placed.w = event.data1;
        window.placed.h = event.data2;
        resize.width = static_cast<float>(event.data1) * TWIPS_PER_PIXEL;
        resize.height = static_cast<float>(event.data2) * TWIPS_PER_PIXEL;
        Push(resize, screen);
        break;
    }
    case SDL_WINDOWEVENT_CLOSE: {
        InputEvent close;
        close.kind = InputEvent::Kind::Close;
        Push(close, screen);
        break;
    }
    default:
        break;
    }
}

Backend::BorderedWindow& Backend::WindowFor(Screen& screen) {
    auto found = windows.find(&screen);
    if (found != windows.end()) return found->second;
    BorderedWindow window;
    window.placed = ToPixels(screen.Left(), screen.Top(), screen.Width(), screen.Height());
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
    if (topMost.contains(&screen)) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    window.caption = screen.Caption();
    window.window.reset(SDL_CreateWindow(window.caption.c_str(), window.placed.x, window.placed.y,
                                         std::max(1, window.placed.w), std::max(1, window.placed.h), flags));
    if (!window.window) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
    window.renderer = MakeRenderer(window.window.get());
    window.painter = std::make_unique<Painter>(*window.renderer, fonts, layouts);
    return windows.emplace(&screen, std::move(window)).first->second;
}

void Backend::SyncWindows() {
    std::set<Screen*> visible;
    for (Screen* screen : runtime->ZOrder()) {
        if (!screen->Bordered()) continue;
        visible.insert(screen);
        BorderedWindow& window = WindowFor(*screen);
        PixelRect wanted = ToPixels(screen->Left(), screen->Top(), screen->Width(), screen->Height());
        if (wanted.x != window.placed.x || wanted.y != window.placed.y) {
            SDL_SetWindowPosition(window.window.get(), wanted.x, wanted.y);
        }
        if (wanted.w != window.placed.w || wanted.h != window.placed.h) {
            SDL_SetWindowSize(window.window.get(), std::max(1, wanted.w), std::max(1, wanted.h));
        }
        window.placed = wanted;
        if (window.caption != screen->Caption()) {
            window.caption = screen->Caption();
            SDL_SetWindowTitle(window.window.get(), window.caption.c_str());
        }
        if (!window.shown) {
            window.shown = true;
            SDL_ShowWindow(window.window.get());
            // Without a window manager a window shown takes the keyboard; it stays with the screen.
            SDL_SetWindowInputFocus(mainWindow.get());
        }
    }
    for (auto& [screen, window] : windows) {
        if (window.shown && !visible.contains(screen)) {
            window.shown = false;
            SDL_HideWindow(window.window.get());
            SDL_SetWindowInputFocus(mainWindow.get());
        }
    }
}

void Backend::Present() {
    if (runtime == nullptr) return;
    if (runtime->Revision() != presentedRevision || dirty) {
        presentedRevision = runtime->Revision();
        dirty = false;
        SyncWindows();
        Redraw(std::nullopt);
    }
    if (presentCallbacks.empty()) return;
    // Right after the renderer's present returned; with nothing new to draw, the frame on show
    // already carries every change. Taken out first: a callback may itself present.
    int64_t presented = NowMicros();
    auto callbacks = std::move(presentCallbacks);
    presentCallbacks.clear();
    for (auto& callback : callbacks) callback(presented);
}

void Backend::OnNextPresent(std::function<void(int64_t presentedMicros)> callback) {
    presentCallbacks.push_back(std::move(callback));
}

void Backend::Redraw(const std::optional<Overlay>& overlay) {
    Screen* active = runtime->ActiveScreen();
    if (active != nullptr) {
        mainPainter->DrawScreen(*active, true);
    } else {
        SDL_SetRenderDrawColor(mainRenderer.get(), BUTTON_FACE.r, BUTTON_FACE.g, BUTTON_FACE.b, 255);
        SDL_RenderClear(mainRenderer.get());
    }
    if (overlay) mainPainter->DrawMessageBox(overlay->box, overlay->geometry);
    mainPainter->Present();
    for (auto& [screen, window] : windows) {
        if (!window.shown) continue;
        window.painter->DrawScreen(*screen, false);
        window.painter->Present();
    }
}

int Backend::ShowMessageBox(const std::string& prompt, int style, const std::string& title) {
    MessageBoxModel box(prompt, style, title);
    MessageBoxGeometry geometry = mainPainter->LayOut(box, displayWidth, displayHeight);
    Uint32 mainId = SDL_GetWindowID(mainWindow.get());
    auto buttonAt = [&geometry](int x, int y) {
        SDL_Point point{x, y};
        for (size_t i = 0; i < geometry.buttons.size(); ++i) {
            if (SDL_PointInRect(&point, &geometry.buttons[i])) return static_cast<int>(i);
        }
        return -1;
    };
    int pressedButton = -1;
    bool redraw = true;
    // The box's own loop: no timer of the screens runs, and only the box takes keys and clicks.
    for (;;) {
        if (redraw) {
            Redraw(Overlay{box, geometry});
            redraw = false;
        }
        SDL_Event event;
        if (SDL_WaitEvent(&event) == 0) continue;
        int answer = 0;
        switch (event.type) {
        case SDL_KEYDOWN: {
            int virtualKey = VirtualKey(event.key.keysym.sym);
            bool repeat = event.key.repeat != 0;
            keys.TakenByMessageBox(virtualKey, repeat);
            answer = box.KeyDown(virtualKey, ShiftState(event.key.keysym.mod), repeat);
            redraw = true;
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT && event.button.windowID == mainId) {
                pressedButton = buttonAt(event.button.x, event.button.y);
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT && event.button.windowID == mainId && pressedButton >= 0 &&
                buttonAt(event.button.x, event.button.y) == pressedButton) {
                answer = box.Click(static_cast<size_t>(pressedButton));
            }
            pressedButton = -1;
            break;
        case SDL_WINDOWEVENT:
            // A close request waits for the answer; a resize is for the screens once the box is gone.
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) ProcessWindowEvent(event.window);
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN) {
                redraw = true;
            }
            break;
        default:
            break;
        }
        if (answer != 0) {
            dirty = true;
            return answer;
        }
    }
}

void Backend::SetCursorPos(int x, int y) {
    SDL_WarpMouseInWindow(mainWindow.get(), std::clamp(x, 0, displayWidth - 1), std::clamp(y, 0, displayHeight - 1));
}

void Backend::SetTopMost(Screen& screen) {
    topMost.insert(&screen);
    auto found = windows.find(&screen);
    if (found != windows.end()) SDL_SetWindowAlwaysOnTop(found->second.window.get(), SDL_TRUE);
}

void Backend::PlaySoundSync(const std::string& path) {
    // The call's time: the device's own report of when the first sample is due is not read yet.
    int64_t called = NowMicros();
    Audio::Played played = audio.PlaySync(path);
    lastSound = SoundOnset{called, played.durationMicros, played.audible};
}
int Backend::WaveOpen(const std::string& path) { return audio.Open(path); }
void Backend::WaveRewind(int handle) { audio.Rewind(handle); }
void Backend::WavePlay(int handle) { audio.Play(handle); }
void Backend::WaveClose(int handle) { audio.Close(handle); }

}  // namespace pelorin::sdl
