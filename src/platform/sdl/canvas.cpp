#include "platform/sdl/canvas.h"

#include <algorithm>

#include "platform/sdl/text_layout.h"

namespace pelorin::sdl {

namespace {

SDL_Rect Intersect(const SDL_Rect& a, const SDL_Rect& b) {
    SDL_Rect result{};
    if (!SDL_IntersectRect(&a, &b, &result)) return {a.x, a.y, 0, 0};
    return result;
}

}  // namespace

SDL_Rect Inset(const SDL_Rect& rect, int by) {
    return {rect.x + by, rect.y + by, std::max(0, rect.w - 2 * by), std::max(0, rect.h - 2 * by)};
}

Canvas::Canvas(SDL_Renderer& renderer, Fonts& fonts) : renderer(renderer), fonts(fonts), cache(renderer) {}

void Canvas::Clear(Color color) {
    clips.clear();
    SDL_RenderSetClipRect(&renderer, nullptr);
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    SDL_RenderClear(&renderer);
}

void Canvas::Present() {
    SDL_RenderPresent(&renderer);
    cache.EndFrame();
}

void Canvas::Fill(const SDL_Rect& rect, Color color) {
    if (rect.w <= 0 || rect.h <= 0) return;
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    SDL_RenderFillRect(&renderer, &rect);
}

void Canvas::Outline(const SDL_Rect& rect, Color color) {
    if (rect.w <= 0 || rect.h <= 0) return;
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    SDL_RenderDrawRect(&renderer, &rect);
}

void Canvas::Raised(const SDL_Rect& rect) { Bevel(rect, WHITE, DARK_SHADOW, LIGHT, SHADOW); }

void Canvas::Sunken(const SDL_Rect& rect) { Bevel(rect, SHADOW, WHITE, DARK_SHADOW, LIGHT); }

void Canvas::Bevel(const SDL_Rect& rect, Color outerLit, Color outerDark, Color innerLit, Color innerDark) {
    int right = rect.x + rect.w - 1;
    int bottom = rect.y + rect.h - 1;
    Fill({rect.x, rect.y, rect.w, 1}, outerLit);
    Fill({rect.x, rect.y, 1, rect.h}, outerLit);
    Fill({rect.x, bottom, rect.w, 1}, outerDark);
    Fill({right, rect.y, 1, rect.h}, outerDark);
    Fill({rect.x + 1, rect.y + 1, rect.w - 2, 1}, innerLit);
    Fill({rect.x + 1, rect.y + 1, 1, rect.h - 2}, innerLit);
    Fill({rect.x + 1, bottom - 1, rect.w - 2, 1}, innerDark);
    Fill({right - 1, rect.y + 1, 1, rect.h - 2}, innerDark);
}

void Canvas::DottedOutline(const SDL_Rect& rect) {
    if (rect.w <= 0 || rect.h <= 0) return;
    std::vector<SDL_Point> points;
    int right = rect.x + rect.w - 1;
    int bottom = rect.y + rect.h - 1;
    for (int x = rect.x; x <= right; x += 2) {
        points.push_back({x, rect.y});
        points.push_back({x, bottom});
    }
    for (int y = rect.y; y <= bottom; y += 2) {
        points.push_back({rect.x, y});
        points.push_back({right, y});
    }
    SDL_SetRenderDrawColor(&renderer, 0, 0, 0, 255);
    SDL_RenderDrawPoints(&renderer, points.data(), static_cast<int>(points.size()));
}

void Canvas::ButtonFace(const SDL_Rect& rect, const std::string& caption, TTF_Font& font, bool focused) {
    Fill(rect, BUTTON_FACE);
    SDL_Rect face = rect;
    if (focused) {
        Outline(rect, BLACK);
        face = Inset(rect, 1);
    }
    Raised(face);
    std::string text = DisplayText(caption);
    int width = TextWidth(font, text);
    int height = fonts.LineSkip(font);
    PushClip(Inset(face, BORDER));
    Text(font, text, face.x + (face.w - width) / 2, face.y + (face.h - height) / 2, WINDOW_TEXT);
    PopClip();
    if (focused) DottedOutline(Inset(face, 4));
}

void Canvas::Triangles(const std::vector<SDL_Vertex>& vertices) {
    SDL_RenderGeometry(&renderer, nullptr, vertices.data(), static_cast<int>(vertices.size()), nullptr, 0);
}

void Canvas::Text(TTF_Font& font, std::string_view utf8, int x, int y, Color color) {
    TextImage image = cache.Get(font, utf8, color);
    if (image.texture == nullptr) return;
    SDL_Rect target{x, y, image.width, image.height};
    SDL_RenderCopy(&renderer, image.texture, nullptr, &target);
}

int Canvas::TextWidth(TTF_Font& font, std::string_view utf8) {
    int width = 0;
    size_t at = 0;
    while (at < utf8.size()) {
        char32_t codePoint = 0xFFFD;
        size_t length = Utf8Next(utf8, at, codePoint);
        width += fonts.Advance(font, codePoint);
        at += length == 0 ? 1 : length;
    }
    return width;
}

std::vector<std::string> Canvas::Wrap(TTF_Font& font, std::string_view displayText, int width) {
    std::vector<std::string> lines;
    Advance advance = [this, &font](char32_t codePoint) { return fonts.Advance(font, codePoint); };
    size_t at = 0;
    while (at < displayText.size()) {
        LineBreak line = NextLine(displayText, at, std::max(width, 1), advance);
        lines.emplace_back(displayText.substr(at, line.end - at));
        at = line.next;
    }
    return lines;
}

void Canvas::PushClip(const SDL_Rect& rect) {
    SDL_Rect clip = clips.empty() ? rect : Intersect(clips.back(), rect);
    // SDL takes an empty clip rectangle for none at all; one pixel off the window clips everything.
    if (clip.w <= 0 || clip.h <= 0) clip = {-2, -2, 1, 1};
    clips.push_back(clip);
    SDL_RenderSetClipRect(&renderer, &clip);
}

void Canvas::PopClip() {
    clips.pop_back();
    if (clips.empty()) {
        SDL_RenderSetClipRect(&renderer, nullptr);
    } else {
        SDL_RenderSetClipRect(&renderer, &clips.back());
    }
}

}  // namespace pelorin::sdl
