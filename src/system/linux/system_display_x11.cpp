// The project's headers first: X11's macros (KeyPress, None) would break them.
#include "hosts/sdl/system_display.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace pelorin::sdl {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using Connection = std::unique_ptr<Display, DisplayCloser>;

// A connection of its own: these are asked a few times a run, never while it is timed.
Connection Connect() { return Connection(XOpenDisplay(nullptr)); }

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// A server that refuses a question answers it with nothing, instead of ending the program as Xlib's
// own handler would.
class ErrorsIgnored {
public:
    explicit ErrorsIgnored(Display* display) : display(display), previous(XSetErrorHandler(IgnoreError)) {}
    ~ErrorsIgnored() {
        // Errors arrive after their request: all of them are in before the handler goes back.
        XSync(display, False);
        XSetErrorHandler(previous);
    }
    ErrorsIgnored(const ErrorsIgnored&) = delete;
    ErrorsIgnored& operator=(const ErrorsIgnored&) = delete;

private:
    Display* display;
    int (*previous)(Display*, XErrorEvent*);
};

// The layouts the keyboard was set up with ("us,ru"), from the root window's _XKB_RULES_NAMES:
// rules, model, layouts, variants and options, each ended by a NUL.
std::vector<std::string> LayoutCodes(Display* display) {
    Atom names = XInternAtom(display, "_XKB_RULES_NAMES", True);
    if (names == 0) return {};
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), names, 0, 1024, False, XA_STRING, &type, &format,
                           &items, &after, &data) != Success ||
        data == nullptr) {
        return {};
    }
    std::string all(reinterpret_cast<const char*>(data), items);
    XFree(data);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t at = 0; at <= all.size(); ++at) {
        if (at == all.size() || all[at] == '\0') {
            fields.push_back(all.substr(start, at - start));
            start = at + 1;
        }
    }
    std::vector<std::string> codes;
    if (fields.size() < 3) return codes;
    start = 0;
    const std::string& layouts = fields[2];
    for (size_t at = 0; at <= layouts.size(); ++at) {
        if (at == layouts.size() || layouts[at] == ',') {
            codes.push_back(layouts.substr(start, at - start));
            start = at + 1;
        }
    }
    return codes;
}

// The group's name as the keyboard's description gives it ("Russian"), or empty.
std::string GroupName(Display* display, int group) {
    XkbDescPtr keyboard = XkbAllocKeyboard();
    if (keyboard == nullptr) return "";
    std::string name;
    if (XkbGetNames(display, XkbGroupNamesMask, keyboard) == Success && keyboard->names != nullptr &&
        keyboard->names->groups[group] != 0) {
        if (char* atom = XGetAtomName(display, keyboard->names->groups[group])) {
            name = atom;
            XFree(atom);
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return name;
}

}  // namespace

// Desktops scale through the X resource Xft.dpi, which toolkits read; one value for every monitor.
void ReadDisplayDpi(DisplayInfo& display) {
    display.dpi = BASE_DPI;
    display.dpiSource = "Xft.dpi not set";
    Connection connection = Connect();
    if (!connection) {
        display.dpiSource = "no X display to ask";
        return;
    }
    const char* resources = XResourceManagerString(connection.get());
    if (resources == nullptr) return;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) == True && value.addr != nullptr) {
        float dpi = std::strtof(value.addr, nullptr);
        // Beyond these a resource is a typing error, not a display.
        if (dpi >= 48 && dpi <= 480) {
            display.dpi = dpi;
            display.dpiSource = std::string("Xft.dpi ") + value.addr;
        } else {
            display.dpiSource = std::string("Xft.dpi ") + value.addr + " ignored";
        }
    }
    XrmDestroyDatabase(database);
}

// The output RandR shows the display on is the one whose CRTC covers the display's bounds, which is
// how SDL lists them. Its EDID is the monitor's own word; the output's size is the server's, which
// takes it from the EDID too or says 0 (Xvfb).
void ReadDisplaySize(DisplayInfo& display) {
    Connection connection = Connect();
    if (!connection) return;
    Display* x = connection.get();
    ErrorsIgnored ignored(x);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(x, &eventBase, &errorBase) || !XRRQueryVersion(x, &major, &minor) ||
        (major == 1 && minor < 2)) {
        return;
    }
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(x, DefaultRootWindow(x));
    if (resources == nullptr) return;
    Atom edidName = XInternAtom(x, RR_PROPERTY_RANDR_EDID, True);
    for (int i = 0; i < resources->noutput && display.widthMm == 0; ++i) {
        XRROutputInfo* output = XRRGetOutputInfo(x, resources, resources->outputs[i]);
        if (output == nullptr) continue;
        XRRCrtcInfo* crtc = output->connection == RR_Connected && output->crtc != 0
                                ? XRRGetCrtcInfo(x, resources, output->crtc)
                                : nullptr;
        if (crtc != nullptr && crtc->x == display.left && crtc->y == display.top &&
            static_cast<int>(crtc->width) == display.width && static_cast<int>(crtc->height) == display.height) {
            std::optional<PictureSize> size;
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (edidName != 0 &&
                XRRGetOutputProperty(x, resources->outputs[i], edidName, 0, 256, False, False, AnyPropertyType, &type,
                                     &format, &items, &after, &data) == Success &&
                data != nullptr) {
                if (format == 8) size = EdidPictureSize(std::string_view(reinterpret_cast<const char*>(data), items));
                XFree(data);
            }
            if (!size && output->mm_width > 0 && output->mm_height > 0) {
                size = PictureSize{double(output->mm_width), double(output->mm_height)};
            }
            if (size) {
                // A monitor turned on its side shows its picture turned too.
                bool turned = (crtc->rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0;
                display.widthMm = turned ? size->heightMm : size->widthMm;
                display.heightMm = turned ? size->widthMm : size->heightMm;
            }
        }
        if (crtc != nullptr) XRRFreeCrtcInfo(crtc);
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
}

// The keys of the active group (the layout Alt+Shift and the like switch to) at their first two
// levels, as typed with and without Shift.
KeyboardLayout ReadKeyboardLayout(std::string_view keys) {
    KeyboardLayout layout;
    Connection connection = Connect();
    if (!connection) return layout;
    Display* display = connection.get();
    ErrorsIgnored ignored(display);
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) return layout;
    int group = state.group;
    std::vector<std::string> codes = LayoutCodes(display);
    std::string code = group < static_cast<int>(codes.size()) ? codes[static_cast<size_t>(group)] : "";
    std::string name = GroupName(display, group);
    layout.name = code.empty() ? name : name.empty() ? code : code + " (" + name + ")";

    int lowest = 0;
    int highest = 0;
    XDisplayKeycodes(display, &lowest, &highest);
    std::set<KeySym> typed;
    for (int keycode = lowest; keycode <= highest; ++keycode) {
        for (unsigned level = 0; level < 2; ++level) {
            KeySym symbol = XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), group, level);
            if (symbol != NoSymbol) typed.insert(symbol);
        }
    }
    // Latin-1 characters are their own key symbols.
    for (char key : keys) {
        if (!typed.contains(static_cast<KeySym>(static_cast<unsigned char>(key)))) layout.untypable += key;
    }
    return layout;
}

}  // namespace pelorin::sdl
