#include "ui/host.h"

#include <cmath>

namespace pelorin {

int DisplayInfo::ScalingPercent() const { return static_cast<int>(std::lround(dpi / BASE_DPI * 100.0f)); }

DisplayInfo Host::DescribeDisplay() {
    DisplayInfo display;
    display.width = DisplayWidthPixels();
    display.height = DisplayHeightPixels();
    display.dpi = TWIPS_PER_INCH / TwipsPerPixel();
    return display;
}

KeyboardLayout Host::DescribeKeyboard(std::string_view) { return {}; }

}  // namespace pelorin
