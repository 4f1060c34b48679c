// Watches a window from outside through the X server's Present extension: every frame presented to it
// that the server completes, as the server tells every client that asked.
//   present_watch WINDOW_ID
// Prints one line per completion, "SERIAL MSC UST" (UST in microseconds on CLOCK_MONOTONIC), flushed
// at once; ends when the window goes or the watcher is killed.
#include <xcb/present.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: present_watch WINDOW_ID\n");
        return 2;
    }
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "present_watch: no display\n");
        return 1;
    }
    const xcb_query_extension_reply_t* present = xcb_get_extension_data(connection, &xcb_present_id);
    if (present == nullptr || !present->present) {
        std::fprintf(stderr, "present_watch: the X server has no Present extension\n");
        return 1;
    }
    std::free(xcb_present_query_version_reply(connection, xcb_present_query_version(connection, 1, 0), nullptr));
    xcb_void_cookie_t selected = xcb_present_select_input_checked(
        connection, xcb_generate_id(connection), window, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
    if (xcb_generic_error_t* error = xcb_request_check(connection, selected)) {
        std::fprintf(stderr, "present_watch: cannot watch window %s (error %d)\n", argv[1], error->error_code);
        std::free(error);
        return 1;
    }
    std::printf("watching\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC && generic->extension == present->major_opcode &&
            generic->event_type == XCB_PRESENT_EVENT_COMPLETE_NOTIFY) {
            const auto* complete = reinterpret_cast<const xcb_present_complete_notify_event_t*>(event);
            if (complete->kind == XCB_PRESENT_COMPLETE_KIND_PIXMAP) {
                std::printf("%u %llu %llu\n", complete->serial, static_cast<unsigned long long>(complete->msc),
                            static_cast<unsigned long long>(complete->ust));
                std::fflush(stdout);
            }
        }
        std::free(event);
    }
    return 0;
}
