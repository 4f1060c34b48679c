// The project's headers first: X11's macros (KeyPress, None) would break them.
#include "check/system_info.h"
#include "platform/system_facts.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace pelorin::check {

namespace {

constexpr double BASE_DPI = 96;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

}  // namespace

// Desktops scale through the X resource Xft.dpi, which toolkits read (96 is 100 %).
void ReadScaling(DisplayFigures& display) {
    display.scalingPercent = 100;
    display.scalingSource = "Xft.dpi not set";
    std::unique_ptr<Display, DisplayCloser> connection(XOpenDisplay(nullptr));
    if (!connection) {
        display.scalingSource = "no X display to ask";
        return;
    }
    const char* resources = XResourceManagerString(connection.get());
    if (resources == nullptr) return;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) == True && value.addr != nullptr) {
        double dpi = std::atof(value.addr);
        if (dpi > 0) {
            display.scalingPercent = static_cast<int>(std::lround(dpi / BASE_DPI * 100));
            display.scalingSource = std::string("Xft.dpi ") + value.addr;
        }
    }
    XrmDestroyDatabase(database);
}

PowerFigures ReadPower() { return {}; }

std::string SystemName() { return OperatingSystemDescription() + " (X11)"; }

ReferenceSystem ReferenceSystemHere() { return ReferenceSystem::Linux; }

const char* InjectorName() { return "XTest"; }

}  // namespace pelorin::check
