#include "hosts/sdl/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "hosts/sdl/text_fit.h"
#include "hosts/sdl/text_layout.h"

namespace pelorin::sdl {

namespace {

SDL_Rect Intersect(const SDL_Rect& a, const SDL_Rect& b) {
    SDL_Rect result{};
    if (!SDL_IntersectRect(&a, &b, &result)) return {a.x, a.y, 0, 0};
    return result;
}

// FNV-1a, over a drawing call's arguments.
void Mix(uint64_t& digest, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        digest ^= bytes[i];
        digest *= 0x100000001b3ULL;
    }
}

template <class T>
void Mix(uint64_t& digest, const T& value) {
    Mix(digest, &value, sizeof value);
}

// SDL takes an empty clip rectangle for none at all; one pixel off the window clips everything.
SDL_Rect ClipOf(const SDL_Rect& rect) { return rect.w <= 0 || rect.h <= 0 ? SDL_Rect{-2, -2, 1, 1} : rect; }

uint32_t Packed(Color color) { return uint32_t{color.r} << 16 | uint32_t{color.g} << 8 | color.b; }

}  // namespace

SDL_Rect Inset(const SDL_Rect& rect, int by) {
    return {rect.x + by, rect.y + by, std::max(0, rect.w - 2 * by), std::max(0, rect.h - 2 * by)};
}

Canvas::Canvas(SDL_Renderer& renderer, Fonts& fonts) : renderer(renderer), fonts(fonts), cache(renderer) {
    SDL_RendererInfo info{};
    // The software renderer draws into the window's surface, which keeps its pixels between frames.
    partsPresentable = SDL_GetRendererInfo(&renderer, &info) == 0 && std::strcmp(info.name, "software") == 0;
}

SDL_Rect Canvas::Whole() const {
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(&renderer, &width, &height);
    return {0, 0, width, height};
}

void Canvas::Clear(Color color) {
    clips.clear();
    ApplyClip();
    if (!Note('C', Whole(), color)) return;
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    if (bounds) {
        // Clearing ignores the clipping.
        SDL_RenderFillRect(&renderer, &*bounds);
    } else {
        SDL_RenderClear(&renderer);
    }
}

void Canvas::Present() {
    SDL_RenderPresent(&renderer);
    cache.EndFrame();
}

void Canvas::PresentParts(SDL_Window& window, const std::vector<SDL_Rect>& rects) {
    // What SDL_RenderPresent does for the software renderer, for these rectangles alone.
    FinishFrame();
    SDL_UpdateWindowSurfaceRects(&window, rects.data(), static_cast<int>(rects.size()));
}

void Canvas::FinishFrame() {
    SDL_RenderFlush(&renderer);
    cache.EndFrame();
}

void Canvas::StartRecording() {
    recording = true;
    items.clear();
    callsInItem = 0;
}

std::vector<DrawnItem> Canvas::StopRecording() {
    recording = false;
    return std::exchange(items, {});
}

void Canvas::BeginItem(const void* key) {
    if (!recording) return;
    items.push_back({key, 0xcbf29ce484222325ULL, {}, false, 0});
    callsInItem = 0;
}

void Canvas::SetBounds(std::optional<SDL_Rect> rect) {
    bounds = rect;
    ApplyClip();
}

void Canvas::ApplyClip() {
    if (clips.empty() && !bounds) {
        SDL_RenderSetClipRect(&renderer, nullptr);
        return;
    }
    SDL_Rect clip = ClipOf(clips.empty() ? *bounds : bounds ? Intersect(clips.back(), *bounds) : clips.back());
    SDL_RenderSetClipRect(&renderer, &clip);
}

bool Canvas::Note(char kind, const SDL_Rect& rect, Color color, std::string_view more, std::string_view andMore) {
    SDL_Rect covered = clips.empty() ? rect : Intersect(rect, clips.back());
    if (!recording) {
        SDL_Rect inside{};
        return !bounds || SDL_IntersectRect(&covered, &*bounds, &inside) == SDL_TRUE;
    }
    if (items.empty()) BeginItem(nullptr);
    DrawnItem& item = items.back();
    Mix(item.digest, kind);
    Mix(item.digest, rect);
    Mix(item.digest, Packed(color));
    Mix(item.digest, more.data(), more.size());
    Mix(item.digest, andMore.data(), andMore.size());
    if (!clips.empty()) Mix(item.digest, clips.back());
    item.extent = Bounds(item.extent, covered);
    ++callsInItem;
    item.oneFill = callsInItem == 1 && (kind == 'F' || kind == 'C') && clips.empty();
    item.fillColor = Packed(color);
    return false;
}

void Canvas::Fill(const SDL_Rect& rect, Color color) {
    if (rect.w <= 0 || rect.h <= 0) return;
    if (!Note('F', rect, color)) return;
    SDL_SetRenderDrawColor(&renderer, color.r, color.g, color.b, 255);
    SDL_RenderFillRect(&renderer, &rect);
}

void Canvas::Outline(const SDL_Rect& rect, Color color) {
    if (rect.w <= 0 || rect.h <= 0) return;
    if (!Note('O', rect, color)) return;
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
    if (!Note('D', rect, BLACK)) return;
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
    if (vertices.empty()) return;
    float left = vertices[0].position.x, top = vertices[0].position.y, right = left, bottom = top;
    for (const SDL_Vertex& vertex : vertices) {
        left = std::min(left, vertex.position.x);
        top = std::min(top, vertex.position.y);
        right = std::max(right, vertex.position.x);
        bottom = std::max(bottom, vertex.position.y);
    }
    // Whole pixels around the vertices, and one more for the rasteriser's rounding.
    auto x = static_cast<int>(std::floor(left)) - 1;
    auto y = static_cast<int>(std::floor(top)) - 1;
    SDL_Rect covered{x, y, static_cast<int>(std::ceil(right)) + 2 - x, static_cast<int>(std::ceil(bottom)) + 2 - y};
    std::string_view data(reinterpret_cast<const char*>(vertices.data()), vertices.size() * sizeof(SDL_Vertex));
    if (!Note('T', covered, BLACK, data)) return;
    SDL_RenderGeometry(&renderer, nullptr, vertices.data(), static_cast<int>(vertices.size()), nullptr, 0);
}

void Canvas::Text(TTF_Font& font, std::string_view utf8, int x, int y, Color color) {
    TextImage image = cache.Get(font, utf8, color);
    if (image.texture == nullptr) return;
    SDL_Rect target{x, y, image.width, image.height};
    const TTF_Font* face = &font;
    if (!Note('X', target, color, utf8, {reinterpret_cast<const char*>(&face), sizeof face})) return;
    SDL_RenderCopy(&renderer, image.texture, nullptr, &target);
}

int Canvas::TextWidth(TTF_Font& font, std::string_view utf8) { return sdl::TextWidth(fonts, font, utf8); }

std::vector<std::string> Canvas::Wrap(TTF_Font& font, std::string_view displayText, int width) {
    return WrapText(fonts, font, displayText, width);
}

void Canvas::PushClip(const SDL_Rect& rect) {
    clips.push_back(ClipOf(clips.empty() ? rect : Intersect(clips.back(), rect)));
    ApplyClip();
}

void Canvas::PopClip() {
    clips.pop_back();
    ApplyClip();
}

std::vector<SDL_Rect> PartialDrawing::Draw(Canvas& canvas, bool whole, const std::function<void()>& paint) {
    SDL_Rect window = canvas.Whole();
    canvas.StartRecording();
    paint();
    std::vector<DrawnItem> drawn = canvas.StopRecording();
    std::vector<SDL_Rect> rects{window};
    if (!whole && SDL_RectEquals(&window, &size)) rects = Damage(items, drawn, window);
    items = std::move(drawn);
    size = window;
    for (const SDL_Rect& rect : rects) {
        canvas.SetBounds(rect);
        paint();
    }
    canvas.SetBounds(std::nullopt);
    return rects;
}

}  // namespace pelorin::sdl
