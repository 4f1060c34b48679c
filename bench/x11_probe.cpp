#include "x11_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <cstring>

namespace pelorin::bench {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

}  // namespace

struct RootPixels::Connection {
    DisplayPtr display{XOpenDisplay(nullptr)};
};

RootPixels::RootPixels() : connection(std::make_unique<Connection>()) {}
RootPixels::~RootPixels() = default;

bool RootPixels::Open() const { return connection->display != nullptr; }
int RootPixels::Width() const { return DisplayWidth(connection->display.get(), 0); }
int RootPixels::Height() const { return DisplayHeight(connection->display.get(), 0); }

long RootPixels::Pixel(int x, int y) {
    Display* display = connection->display.get();
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return -1;
    long pixel = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
    return pixel;
}

struct DamageWatcher::Connection {
    DisplayPtr display{XOpenDisplay(nullptr)};
    int eventBase = 0;
    ::Damage damage = 0;
};

DamageWatcher::DamageWatcher(std::function<int64_t()> nowMicros)
    : nowMicros(std::move(nowMicros)), connection(std::make_unique<Connection>()) {}

DamageWatcher::~DamageWatcher() { Stop(); }

namespace {

Window FindWindow(Display* display, Window parent, const std::string& title) {
    Window root, parentOut;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root, &parentOut, &children, &count) == 0) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (title == name) found = children[i];
            XFree(name);
        }
        if (found == 0) found = FindWindow(display, children[i], title);
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

bool DamageWatcher::Start(const std::string& title) {
    Display* display = connection->display.get();
    int error = 0;
    if (display == nullptr || XDamageQueryExtension(display, &connection->eventBase, &error) == False) return false;
    Window window = FindWindow(display, DefaultRootWindow(display), title);
    if (window == 0) return false;
    // Every drawing request reported with its rectangle, not merged into a region the client clears.
    connection->damage = XDamageCreate(display, window, XDamageReportRawRectangles);
    XSync(display, False);
    thread = std::thread([this] { Run(); });
    return true;
}

void DamageWatcher::Run() {
    Display* display = connection->display.get();
    pollfd watched{ConnectionNumber(display), POLLIN, 0};
    while (!stop) {
        if (XPending(display) == 0) {
            poll(&watched, 1, 20);
            continue;
        }
        int64_t arrived = nowMicros();
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != connection->eventBase + XDamageNotify) continue;
        const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
        std::lock_guard lock(mutex);
        events.push_back({arrived, notify.area.x, notify.area.y, notify.area.width, notify.area.height});
    }
}

void DamageWatcher::Stop() {
    stop = true;
    if (thread.joinable()) thread.join();
}

std::vector<DamageWatcher::Damage> DamageWatcher::Events() {
    std::lock_guard lock(mutex);
    return events;
}

}  // namespace pelorin::bench
