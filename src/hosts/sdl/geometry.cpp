#include "hosts/sdl/geometry.h"

#include <algorithm>
#include <cmath>

#include "ui/control.h"
#include "ui/host.h"
#include "ui/screen.h"

namespace pelorin::sdl {

int ToPixels(float twips, float twipsPerPixel) {
    // Far beyond any display, but keeps a runaway bar's arithmetic inside int.
    constexpr float LIMIT = 1.0e7f;
    return static_cast<int>(std::lround(std::clamp(twips / twipsPerPixel, -LIMIT, LIMIT)));
}

PixelRect ToPixels(float left, float top, float width, float height, float twipsPerPixel) {
    int x = ToPixels(left, twipsPerPixel);
    int y = ToPixels(top, twipsPerPixel);
    return {x, y, std::max(0, ToPixels(left + width, twipsPerPixel) - x),
            std::max(0, ToPixels(top + height, twipsPerPixel) - y)};
}

PixelRect PixelRectOf(const Control& control, float twipsPerPixel) {
    return ToPixels(control.ScreenLeft(), control.ScreenTop(), control.Width(), control.Height(), twipsPerPixel);
}

bool IsWindowed(const Control& control) {
    return control.Kind() != ControlKind::Label && control.Kind() != ControlKind::Shape;
}

namespace {

Control* HitIn(const Screen& screen, const Frame* parent, int x, int y, float twipsPerPixel) {
    const auto& controls = screen.Controls();
    // Later controls are drawn over earlier ones.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        Control* control = *it;
        if (control->Parent() != parent || !IsWindowed(*control) || !control->IsShown()) continue;
        if (!PixelRectOf(*control, twipsPerPixel).Contains(x, y)) continue;
        if (control->Kind() == ControlKind::Frame) {
            return HitIn(screen, static_cast<const Frame*>(control), x, y, twipsPerPixel);
        }
        return control;
    }
    return nullptr;
}

}  // namespace

Control* HitTest(const Screen& screen, int x, int y, float twipsPerPixel) {
    Control* hit = HitIn(screen, nullptr, x, y, twipsPerPixel);
    if (hit == nullptr) return nullptr;
    ControlKind kind = hit->Kind();
    return kind == ControlKind::Button || kind == ControlKind::TextBox || kind == ControlKind::TextView ? hit : nullptr;
}

}  // namespace pelorin::sdl
