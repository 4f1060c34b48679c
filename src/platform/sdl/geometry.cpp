#include "platform/sdl/geometry.h"

#include <algorithm>
#include <cmath>

#include "platform/control.h"
#include "platform/host.h"
#include "platform/screen.h"

namespace pelorin::sdl {

int ToPixels(float twips) {
    // Far beyond any display, but keeps a runaway bar's arithmetic inside int.
    constexpr float LIMIT = 1.0e7f;
    return static_cast<int>(std::lround(std::clamp(twips / TWIPS_PER_PIXEL, -LIMIT, LIMIT)));
}

PixelRect ToPixels(float left, float top, float width, float height) {
    int x = ToPixels(left);
    int y = ToPixels(top);
    return {x, y, std::max(0, ToPixels(left + width) - x), std::max(0, ToPixels(top + height) - y)};
}

PixelRect PixelRectOf(const Control& control) {
    return ToPixels(control.ScreenLeft(), control.ScreenTop(), control.Width(), control.Height());
}

bool IsWindowed(const Control& control) {
    return control.Kind() != ControlKind::Label && control.Kind() != ControlKind::Shape;
}

namespace {

Control* HitIn(const Screen& screen, const Frame* parent, int x, int y) {
    const auto& controls = screen.Controls();
    // Later controls are drawn over earlier ones.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        Control* control = *it;
        if (control->Parent() != parent || !IsWindowed(*control) || !control->IsShown()) continue;
        if (!PixelRectOf(*control).Contains(x, y)) continue;
        if (control->Kind() == ControlKind::Frame) return HitIn(screen, static_cast<const Frame*>(control), x, y);
        return control;
    }
    return nullptr;
}

}  // namespace

Control* HitTest(const Screen& screen, int x, int y) {
    Control* hit = HitIn(screen, nullptr, x, y);
    if (hit == nullptr) return nullptr;
    ControlKind kind = hit->Kind();
    return kind == ControlKind::Button || kind == ControlKind::TextBox || kind == ControlKind::TextView ? hit : nullptr;
}

}  // namespace pelorin::sdl
