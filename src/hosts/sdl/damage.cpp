#include "hosts/sdl/damage.h"

#include <map>
#include <utility>

namespace pelorin::sdl {

namespace {

// Beyond this share of the window, one whole redraw costs less than many pieces.
constexpr double WHOLE_WINDOW_SHARE = 0.5;
// Two rectangles are drawn as one when that draws no more than this many pixels beyond them: one
// pass and one transfer to the display cost more than a few thousand pixels more.
constexpr int64_t MERGE_SLACK_PIXELS = 8192;

bool Empty(const SDL_Rect& rect) { return rect.w <= 0 || rect.h <= 0; }

int64_t Area(const SDL_Rect& rect) { return Empty(rect) ? 0 : int64_t{rect.w} * rect.h; }

// Identifies items by key and, for a key drawn more than once, by its turn.
using ItemId = std::pair<const void*, int>;

std::vector<ItemId> Ids(const std::vector<DrawnItem>& items) {
    std::map<const void*, int> seen;
    std::vector<ItemId> ids;
    ids.reserve(items.size());
    for (const DrawnItem& item : items) ids.emplace_back(item.key, seen[item.key]++);
    return ids;
}

// Merges overlapping or nearby rectangles into their bounds until none are left to merge.
std::vector<SDL_Rect> Merge(std::vector<SDL_Rect> rects) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < rects.size() && !merged; ++i) {
            for (size_t j = i + 1; j < rects.size(); ++j) {
                bool near = Area(Bounds(rects[i], rects[j])) <= Area(rects[i]) + Area(rects[j]) + MERGE_SLACK_PIXELS;
                if (!SDL_HasIntersection(&rects[i], &rects[j]) && !near) continue;
                rects[i] = Bounds(rects[i], rects[j]);
                rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
                break;
            }
        }
    }
    return rects;
}

}  // namespace

SDL_Rect Bounds(const SDL_Rect& a, const SDL_Rect& b) {
    if (Empty(a)) return b;
    if (Empty(b)) return a;
    SDL_Rect result{};
    SDL_UnionRect(&a, &b, &result);
    return result;
}

std::vector<SDL_Rect> Subtract(const SDL_Rect& a, const SDL_Rect& b) {
    if (Empty(a)) return {};
    SDL_Rect common{};
    if (!SDL_IntersectRect(&a, &b, &common)) return {a};
    std::vector<SDL_Rect> parts;
    // Above and below the common part, full width; beside it, its height.
    if (common.y > a.y) parts.push_back({a.x, a.y, a.w, common.y - a.y});
    const int commonBottom = common.y + common.h;
    const int commonRight = common.x + common.w;
    if (commonBottom < a.y + a.h) parts.push_back({a.x, commonBottom, a.w, a.y + a.h - commonBottom});
    if (common.x > a.x) parts.push_back({a.x, common.y, common.x - a.x, common.h});
    if (commonRight < a.x + a.w) parts.push_back({commonRight, common.y, a.x + a.w - commonRight, common.h});
    return parts;
}

std::vector<SDL_Rect> Damage(const std::vector<DrawnItem>& before, const std::vector<DrawnItem>& now,
                             const SDL_Rect& window) {
    std::vector<ItemId> beforeIds = Ids(before);
    std::vector<ItemId> nowIds = Ids(now);
    std::map<ItemId, size_t> beforeIndex;
    for (size_t i = 0; i < before.size(); ++i) beforeIndex[beforeIds[i]] = i;

    std::vector<SDL_Rect> rects;
    std::vector<bool> kept(before.size(), false);
    size_t lastKept = 0;
    bool anyKept = false;
    for (size_t i = 0; i < now.size(); ++i) {
        const DrawnItem& item = now[i];
        auto found = beforeIndex.find(nowIds[i]);
        if (found == beforeIndex.end()) {
            rects.push_back(item.extent);
            continue;
        }
        // An item drawn before one it was drawn after now stacks differently wherever they meet.
        if (anyKept && found->second < lastKept) return {window};
        anyKept = true;
        lastKept = found->second;
        kept[found->second] = true;
        const DrawnItem& old = before[found->second];
        if (old.digest == item.digest) continue;
        if (old.oneFill && item.oneFill && old.fillColor == item.fillColor) {
            for (const SDL_Rect& part : Subtract(old.extent, item.extent)) rects.push_back(part);
            for (const SDL_Rect& part : Subtract(item.extent, old.extent)) rects.push_back(part);
            continue;
        }
        rects.push_back(old.extent);
        rects.push_back(item.extent);
    }
    for (size_t i = 0; i < before.size(); ++i) {
        if (!kept[i]) rects.push_back(before[i].extent);
    }

    std::vector<SDL_Rect> clipped;
    for (const SDL_Rect& rect : rects) {
        SDL_Rect inside{};
        if (SDL_IntersectRect(&rect, &window, &inside)) clipped.push_back(inside);
    }
    clipped = Merge(std::move(clipped));
    int64_t total = 0;
    for (const SDL_Rect& rect : clipped) total += Area(rect);
    if (static_cast<double>(total) > WHOLE_WINDOW_SHARE * static_cast<double>(Area(window))) return {window};
    return clipped;
}

}  // namespace pelorin::sdl
