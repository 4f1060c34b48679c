// The window shown at the refresh through the X server's Present extension, on a connection and a
// thread of its own: each frame's changed rectangles go into a pixmap the size of the window, which
// PresentPixmap shows at the next refresh (MSC); its PresentCompleteNotify gives the refresh's count
// and time (UST, microseconds on CLOCK_MONOTONIC).
#include "hosts/sdl/refresh_presenter.h"

#include <SDL_syswm.h>
#include <xcb/present.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "system/monotonic_clock.h"

namespace pelorin::sdl {

namespace {

// PutImage's own bytes before its pixels.
constexpr size_t PUT_IMAGE_HEADER = 24;
// Pieces of a large frame stay at most this big, well under any server's request limit, so that the
// connection never holds one huge request.
constexpr size_t MAX_PIECE_BYTES = 4u << 20;

template <class Reply>
struct Freed {
    void operator()(Reply* reply) const { std::free(reply); }
};
template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, Freed<Reply>>;

class PresentX11 : public RefreshPresenter {
public:
    PresentX11(xcb_connection_t* connection, xcb_window_t window, uint8_t depth, uint8_t presentOpcode);
    ~PresentX11() override;

    uint64_t Present(SDL_Surface& surface, const std::vector<SDL_Rect>& rects) override;
    bool Pending() const override { return pending.load(); }
    std::vector<ShownFrame> TakeShown() override;
    bool AwaitShown(int64_t timeoutNanos) override;
    int64_t RefreshNanos() const override;
    bool Failed() const override { return failed.load(); }
    const char* StampName() const override { return "the X server's Present extension"; }

private:
    void ReadEvents();
    void Completed(const xcb_present_complete_notify_event_t& event);
    void PutRect(SDL_Surface& surface, const SDL_Rect& rect);
    uint64_t NextMsc(int64_t now) const;

    xcb_connection_t* connection;
    xcb_window_t window;
    uint8_t depth;
    uint8_t presentOpcode;
    xcb_pixmap_t pixmap = 0;
    int pixmapWidth = 0, pixmapHeight = 0;
    xcb_gcontext_t gc = 0;
    xcb_xfixes_region_t region = 0;
    // A window of its own, to which the destructor sends the event that ends the reading thread.
    xcb_window_t own = 0;
    size_t maxPieceBytes = 0;
    uint32_t nextSerial = 1;
    std::vector<uint8_t> rows;

    mutable std::mutex mutex;
    std::condition_variable shownChanged;
    std::deque<ShownFrame> shown;
    uint64_t targetMsc = 0;
    // The first and last refresh heard of: the period is measured across them.
    uint64_t firstMsc = 0, lastMsc = 0;
    int64_t firstUst = 0, lastUst = 0;
    bool heard = false;
    std::atomic<bool> pending = false;
    std::atomic<bool> failed = false;
    std::atomic<bool> stopping = false;
    std::thread reader;
};

PresentX11::PresentX11(xcb_connection_t* connection, xcb_window_t window, uint8_t depth, uint8_t presentOpcode)
    : connection(connection), window(window), depth(depth), presentOpcode(presentOpcode) {
    const size_t maxRequest = static_cast<size_t>(xcb_get_maximum_request_length(connection)) * 4;
    maxPieceBytes = std::min(maxRequest, MAX_PIECE_BYTES) - PUT_IMAGE_HEADER;
    gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, window, 0, nullptr);
    region = xcb_generate_id(connection);
    xcb_xfixes_create_region(connection, region, 0, nullptr);
    own = xcb_generate_id(connection);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_create_window(connection, 0, own, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_present_select_input(connection, xcb_generate_id(connection), window, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
    xcb_flush(connection);
    reader = std::thread([this] { ReadEvents(); });
}

PresentX11::~PresentX11() {
    stopping = true;
    xcb_client_message_event_t stop{};
    stop.response_type = XCB_CLIENT_MESSAGE;
    stop.format = 32;
    stop.window = own;
    // With no event mask, the event goes to the window's maker: this connection.
    xcb_send_event(connection, 0, own, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&stop));
    xcb_flush(connection);
    reader.join();
    xcb_disconnect(connection);
}

void PresentX11::ReadEvents() {
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == 0) {
            // A request of ours failed (the window went, a pixmap the server refused): no frame will
            // be shown through here any more.
            failed = true;
        } else if (type == XCB_GE_GENERIC) {
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if (generic->extension == presentOpcode && generic->event_type == XCB_PRESENT_EVENT_COMPLETE_NOTIFY) {
                Completed(*reinterpret_cast<const xcb_present_complete_notify_event_t*>(event));
            }
        }
        std::free(event);
        if (failed) pending = false;
        if (type == 0 || type == XCB_GE_GENERIC) {
            shownChanged.notify_all();
            // Wakes the program's wait: a shown frame has callers waiting for its time.
            SDL_Event wake{};
            wake.type = SDL_USEREVENT;
            SDL_PushEvent(&wake);
        }
        if (stopping) return;
    }
    failed = true;
    pending = false;
}

void PresentX11::Completed(const xcb_present_complete_notify_event_t& event) {
    if (event.kind != XCB_PRESENT_COMPLETE_KIND_PIXMAP) return;
    std::lock_guard lock(mutex);
    const int64_t ust = static_cast<int64_t>(event.ust) * 1000;
    if (!heard) {
        firstMsc = event.msc;
        firstUst = ust;
        heard = true;
    }
    lastMsc = event.msc;
    lastUst = ust;
    shown.push_back(ShownFrame{event.serial, event.msc, targetMsc, ust});
    pending = false;
}

std::vector<ShownFrame> PresentX11::TakeShown() {
    std::lock_guard lock(mutex);
    std::vector<ShownFrame> taken(shown.begin(), shown.end());
    shown.clear();
    return taken;
}

bool PresentX11::AwaitShown(int64_t timeoutNanos) {
    std::unique_lock lock(mutex);
    return shownChanged.wait_for(lock, std::chrono::nanoseconds(timeoutNanos), [this] { return !pending.load(); });
}

int64_t PresentX11::RefreshNanos() const {
    std::lock_guard lock(mutex);
    if (lastMsc <= firstMsc) return 0;
    return (lastUst - firstUst) / static_cast<int64_t>(lastMsc - firstMsc);
}

// The refresh after `now`, counted from the last one heard of at the measured period; 0 (whichever
// comes next) before the period is known.
uint64_t PresentX11::NextMsc(int64_t now) const {
    if (lastMsc <= firstMsc) return 0;
    const int64_t period = (lastUst - firstUst) / static_cast<int64_t>(lastMsc - firstMsc);
    if (period <= 0) return 0;
    const int64_t passed = now > lastUst ? (now - lastUst) / period : 0;
    return lastMsc + static_cast<uint64_t>(passed) + 1;
}

void PresentX11::PutRect(SDL_Surface& surface, const SDL_Rect& rect) {
    const size_t rowBytes = static_cast<size_t>(rect.w) * 4;
    const int rowsPerPiece = std::max(1, static_cast<int>(maxPieceBytes / rowBytes));
    const auto* pixels = static_cast<const uint8_t*>(surface.pixels);
    for (int top = rect.y; top < rect.y + rect.h; top += rowsPerPiece) {
        const int height = std::min(rowsPerPiece, rect.y + rect.h - top);
        rows.resize(rowBytes * static_cast<size_t>(height));
        for (int row = 0; row < height; ++row) {
            std::memcpy(&rows[rowBytes * static_cast<size_t>(row)],
                        pixels + static_cast<size_t>(top + row) * static_cast<size_t>(surface.pitch) + static_cast<size_t>(rect.x) * 4,
                        rowBytes);
        }
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<uint16_t>(rect.w),
                      static_cast<uint16_t>(height), static_cast<int16_t>(rect.x), static_cast<int16_t>(top), 0, depth,
                      static_cast<uint32_t>(rows.size()), rows.data());
    }
}

uint64_t PresentX11::Present(SDL_Surface& surface, const std::vector<SDL_Rect>& rects) {
    std::vector<SDL_Rect> sending = rects;
    if (pixmap == 0 || pixmapWidth != surface.w || pixmapHeight != surface.h) {
        // A new pixmap holds nothing yet: the whole frame goes into it.
        if (pixmap != 0) xcb_free_pixmap(connection, pixmap);
        pixmap = xcb_generate_id(connection);
        xcb_create_pixmap(connection, depth, pixmap, window, static_cast<uint16_t>(surface.w),
                          static_cast<uint16_t>(surface.h));
        pixmapWidth = surface.w;
        pixmapHeight = surface.h;
        sending = {SDL_Rect{0, 0, surface.w, surface.h}};
    }
    std::vector<xcb_rectangle_t> update;
    for (const SDL_Rect& rect : sending) {
        SDL_Rect clipped{};
        const SDL_Rect whole{0, 0, surface.w, surface.h};
        if (SDL_IntersectRect(&rect, &whole, &clipped) != SDL_TRUE) continue;
        PutRect(surface, clipped);
        update.push_back(xcb_rectangle_t{static_cast<int16_t>(clipped.x), static_cast<int16_t>(clipped.y),
                                         static_cast<uint16_t>(clipped.w), static_cast<uint16_t>(clipped.h)});
    }
    // Only the changed rectangles are copied to the window: a bar that grew costs its rows.
    xcb_xfixes_set_region(connection, region, static_cast<uint32_t>(update.size()), update.data());
    const uint32_t serial = nextSerial++;
    {
        std::lock_guard lock(mutex);
        targetMsc = NextMsc(MonotonicNanos());
        pending = true;
    }
    xcb_present_pixmap(connection, window, pixmap, serial, 0, update.empty() ? 0 : region, 0, 0, 0, 0, 0,
                       XCB_PRESENT_OPTION_NONE, targetMsc, 0, 0, 0, nullptr);
    xcb_flush(connection);
    return serial;
}

}  // namespace

std::unique_ptr<RefreshPresenter> RefreshPresenter::Open(SDL_Window* window) {
    if (const char* atCall = std::getenv("PELORIN_PRESENT_AT_CALL"); atCall != nullptr && *atCall == '1') return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
        return nullptr;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || surface->format->BytesPerPixel != 4) return nullptr;
    xcb_connection_t* connection = xcb_connect(DisplayString(info.info.x11.display), nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const auto closed = [connection] {
        xcb_disconnect(connection);
        return nullptr;
    };
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_query_extension_reply_t* present = xcb_get_extension_data(connection, &xcb_present_id);
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || present == nullptr || !present->present ||
        fixes == nullptr || !fixes->present) {
        return closed();
    }
    ReplyPtr<xcb_present_query_version_reply_t> version(
        xcb_present_query_version_reply(connection, xcb_present_query_version(connection, 1, 0), nullptr));
    ReplyPtr<xcb_xfixes_query_version_reply_t> fixesVersion(
        xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 2, 0), nullptr));
    const auto x11Window = static_cast<xcb_window_t>(info.info.x11.window);
    ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, x11Window), nullptr));
    if (!version || !fixesVersion || !geometry) return closed();
    // The pixels go as they are in SDL's surface: 32 bits a pixel at the window's depth.
    bool thirtyTwoBits = false;
    for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem > 0; xcb_format_next(&format)) {
        if (format.data->depth == geometry->depth) thirtyTwoBits = format.data->bits_per_pixel == 32;
    }
    if (!thirtyTwoBits) return closed();
    return std::make_unique<PresentX11>(connection, x11Window, geometry->depth, present->major_opcode);
}

}  // namespace pelorin::sdl
