#include "hosts/sdl/message_box.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "hosts/sdl/failure_box.h"
#include "hosts/sdl/text_layout.h"
#include "ui/host.h"

namespace pelorin::sdl {

namespace {

constexpr int BUTTONS_MASK = 0x7;
constexpr int YES_NO = 4;
constexpr int ICON_MASK = 0x70;
constexpr int ICON_QUESTION = 32;
constexpr int ICON_EXCLAMATION = 48;
constexpr int KEY_Y = 'Y';
constexpr int KEY_N = 'N';

constexpr Color TITLE_BAR{0, 0, 128};
constexpr Color EXCLAMATION_YELLOW{255, 204, 0};
constexpr Color QUESTION_BLUE{0, 84, 166};

// 12 point text, for legibility on a large display.
constexpr float BOX_POINTS = 12.0f;
constexpr int BOX_MARGIN = 16;
constexpr int BOX_TITLE_HEIGHT = 28;
constexpr int BOX_ICON_SIZE = 32;
constexpr int BOX_BUTTON_WIDTH = 96;
constexpr int BOX_BUTTON_HEIGHT = 30;
constexpr int BOX_BUTTON_GAP = 10;
constexpr int BOX_MIN_WIDTH = 280;

}  // namespace

ModalMessageBox::ModalMessageBox(const std::string& prompt, int style, std::string title, const Texts& texts)
    : title(std::move(title)) {
    std::string line;
    for (size_t at = 0; at < prompt.size(); ++at) {
        char character = prompt[at];
        if (character == '\r' || character == '\n') {
            if (character == '\r' && at + 1 < prompt.size() && prompt[at + 1] == '\n') ++at;
            lines.push_back(line);
            line.clear();
        } else {
            line += character;
        }
    }
    lines.push_back(line);

    if ((style & ICON_MASK) == ICON_QUESTION) icon = Icon::Question;
    if ((style & ICON_MASK) == ICON_EXCLAMATION) icon = Icon::Exclamation;
    if ((style & BUTTONS_MASK) == YES_NO) {
        choices = {{texts.Get("box.yes"), ID_YES}, {texts.Get("box.no"), ID_NO}};
    } else {
        choices = {{texts.Get("box.ok"), ID_OK}};
    }
}

int ModalMessageBox::Find(int result) const {
    for (const Choice& choice : choices) {
        if (choice.result == result) return result;
    }
    return 0;
}

int ModalMessageBox::KeyDown(int virtualKey, int shift, bool repeat) {
    // A key still held from before the box, or held too long, must not answer it.
    if (repeat) return 0;
    switch (virtualKey) {
    case KEY_RETURN:
    case KEY_SPACE:
        return choices[focus].result;
    case KEY_ESCAPE:
        return Find(ID_NO) != 0 ? ID_NO : Find(ID_OK);
    case KEY_Y:
        return Find(ID_YES);
    case KEY_N:
        return Find(ID_NO);
    case KEY_TAB:
        focus = (shift & SHIFT_MASK) != 0 ? (focus + choices.size() - 1) % choices.size() : (focus + 1) % choices.size();
        return 0;
    case VK_LEFT:
    case VK_UP:
        focus = (focus + choices.size() - 1) % choices.size();
        return 0;
    case VK_RIGHT:
    case VK_DOWN:
        focus = (focus + 1) % choices.size();
        return 0;
    default:
        return 0;
    }
}

void ModalMessageBox::LayOut(Canvas& canvas, int windowWidth, int windowHeight) {
    Fonts& fonts = canvas.GetFonts();
    TTF_Font& font = fonts.Get(BOX_POINTS, false);
    TTF_Font& bold = fonts.Get(BOX_POINTS, true);
    wrappedLines.clear();
    buttons.clear();
    int lineSkip = fonts.LineSkip(font);
    // The box's measures are pixels at 96 dpi: on a scaled display it keeps its physical size.
    const int margin = fonts.Scaled(BOX_MARGIN);
    const int titleHeight = fonts.Scaled(BOX_TITLE_HEIGHT);
    const int iconSize = fonts.Scaled(BOX_ICON_SIZE);
    const int buttonWidth = fonts.Scaled(BOX_BUTTON_WIDTH);
    const int buttonHeight = fonts.Scaled(BOX_BUTTON_HEIGHT);
    const int buttonGap = fonts.Scaled(BOX_BUTTON_GAP);
    const int minWidth = fonts.Scaled(BOX_MIN_WIDTH);
    bool hasIcon = icon != Icon::None;
    int textLeft = margin + (hasIcon ? iconSize + margin : 0);
    int widest = std::max(minWidth, windowWidth - 40) - textLeft - margin;
    int textWidth = 0;
    for (const std::string& line : lines) {
        std::vector<std::string> wrapped = canvas.Wrap(font, DisplayText(line), widest);
        if (wrapped.empty()) wrapped.emplace_back();
        for (std::string& part : wrapped) {
            textWidth = std::max(textWidth, canvas.TextWidth(font, part));
            wrappedLines.push_back(std::move(part));
        }
    }
    int buttonsWidth = static_cast<int>(choices.size()) * (buttonWidth + buttonGap) - buttonGap;
    int width = std::max({minWidth, textLeft + textWidth + margin, buttonsWidth + 2 * margin,
                          canvas.TextWidth(bold, DisplayText(title)) + 2 * margin});
    int textHeight = static_cast<int>(wrappedLines.size()) * lineSkip;
    int bodyHeight = std::max(textHeight, hasIcon ? iconSize : 0);
    int height = BORDER + titleHeight + margin + bodyHeight + margin + buttonHeight + margin + BORDER;
    box = {(windowWidth - width) / 2, (windowHeight - height) / 2, width, height};
    const SDL_Rect& outer = box;
    titleBar = {outer.x + BORDER + 1, outer.y + BORDER + 1, outer.w - 2 * BORDER - 2, titleHeight - 2};
    int bodyTop = outer.y + BORDER + titleHeight + margin;
    iconRect = {outer.x + margin, bodyTop, iconSize, iconSize};
    textX = outer.x + textLeft;
    textY = bodyTop + (bodyHeight - textHeight) / 2;
    int buttonX = outer.x + (outer.w - buttonsWidth) / 2;
    int buttonY = bodyTop + bodyHeight + margin;
    for (size_t i = 0; i < choices.size(); ++i) {
        buttons.push_back({buttonX, buttonY, buttonWidth, buttonHeight});
        buttonX += buttonWidth + buttonGap;
    }
}

void ModalMessageBox::Draw(Canvas& canvas) const {
    Fonts& fonts = canvas.GetFonts();
    TTF_Font& font = fonts.Get(BOX_POINTS, false);
    TTF_Font& bold = fonts.Get(BOX_POINTS, true);
    canvas.Fill(box, BUTTON_FACE);
    canvas.Raised(box);
    canvas.Fill(titleBar, TITLE_BAR);
    canvas.PushClip(titleBar);
    int titleY = titleBar.y + (titleBar.h - fonts.LineSkip(bold)) / 2;
    canvas.Text(bold, DisplayText(title), titleBar.x + fonts.Scaled(6), titleY, WHITE);
    canvas.PopClip();
    DrawIcon(canvas);
    int y = textY;
    for (const std::string& line : wrappedLines) {
        canvas.Text(font, line, textX, y, WINDOW_TEXT);
        y += fonts.LineSkip(font);
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
        canvas.ButtonFace(buttons[i], choices[i].caption, font, i == focus);
    }
}

void ModalMessageBox::DrawIcon(Canvas& canvas) const {
    const SDL_Rect& rect = iconRect;
    if (icon == Icon::None) return;
    auto vertex = [](float x, float y, Color color) {
        return SDL_Vertex{{x, y}, {color.r, color.g, color.b, 255}, {0, 0}};
    };
    auto cx = static_cast<float>(rect.x) + static_cast<float>(rect.w) / 2;
    auto cy = static_cast<float>(rect.y) + static_cast<float>(rect.h) / 2;
    auto radius = static_cast<float>(rect.w) / 2;
    std::vector<SDL_Vertex> vertices;
    std::string mark;
    Color markColor = BLACK;
    if (icon == Icon::Exclamation) {
        float top = static_cast<float>(rect.y);
        float bottom = static_cast<float>(rect.y + rect.h);
        float left = static_cast<float>(rect.x);
        float right = static_cast<float>(rect.x + rect.w);
        // A black triangle with a yellow one inside it.
        vertices = {vertex(cx, top, BLACK), vertex(left, bottom, BLACK), vertex(right, bottom, BLACK),
                    vertex(cx, top + 3, EXCLAMATION_YELLOW), vertex(left + 2.5f, bottom - 1.5f, EXCLAMATION_YELLOW),
                    vertex(right - 2.5f, bottom - 1.5f, EXCLAMATION_YELLOW)};
        mark = "!";
        cy += radius / 4;
    } else {
        constexpr int SEGMENTS = 32;
        for (int i = 0; i < SEGMENTS; ++i) {
            float a0 = static_cast<float>(i) * 2.0f * std::numbers::pi_v<float> / SEGMENTS;
            float a1 = static_cast<float>(i + 1) * 2.0f * std::numbers::pi_v<float> / SEGMENTS;
            vertices.push_back(vertex(cx, cy, QUESTION_BLUE));
            vertices.push_back(vertex(cx + radius * std::cos(a0), cy + radius * std::sin(a0), QUESTION_BLUE));
            vertices.push_back(vertex(cx + radius * std::cos(a1), cy + radius * std::sin(a1), QUESTION_BLUE));
        }
        mark = "?";
        markColor = WHITE;
    }
    canvas.Triangles(vertices);
    Fonts& fonts = canvas.GetFonts();
    TTF_Font& font = fonts.Get(15.0f, true);
    int width = canvas.TextWidth(font, mark);
    int height = fonts.LineSkip(font);
    canvas.Text(font, mark, static_cast<int>(cx) - width / 2, static_cast<int>(cy) - height / 2, markColor);
}

int ModalMessageBox::ButtonAt(int x, int y) const {
    SDL_Point point{x, y};
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (SDL_PointInRect(&point, &buttons[i])) return static_cast<int>(i);
    }
    return -1;
}

int ModalMessageBox::Run(const HostHooks& host) {
    // A button is clicked when the mouse goes up over the one it went down on.
    int pressedButton = -1;
    bool redraw = true;
    // No timer of the screens runs in this loop, and only the box takes keys and clicks.
    for (;;) {
        if (redraw) {
            host.draw();
            redraw = false;
        }
        SDL_Event event;
        if (SDL_WaitEvent(&event) == 0) continue;
        int answer = 0;
        switch (event.type) {
        case SDL_KEYDOWN:
            host.keys.TakenByMessageBox(event.key);
            answer = KeyDown(VirtualKey(event.key.keysym.sym), ShiftState(event.key.keysym.mod), event.key.repeat != 0);
            redraw = true;
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT && event.button.windowID == host.mainWindowId) {
                pressedButton = ButtonAt(event.button.x, event.button.y);
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT && event.button.windowID == host.mainWindowId &&
                pressedButton >= 0 && ButtonAt(event.button.x, event.button.y) == pressedButton) {
                answer = Click(static_cast<size_t>(pressedButton));
            }
            pressedButton = -1;
            break;
        case SDL_USEREVENT:
            if (host.woken) host.woken();
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) host.sizeChanged(event.window);
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN) {
                redraw = true;
            }
            break;
        default:
            break;
        }
        if (answer != 0) return answer;
    }
}

void ShowFailureBox(const std::string& message) {
    // The system's box breaks lines at LF alone.
    std::string text;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
        text += message[i] == '\r' ? '\n' : message[i];
    }
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Pelorin", text.c_str(), nullptr);
}

}  // namespace pelorin::sdl
