// Starts a program under X and measures, from outside it, how long it takes to put its first frame on the
// screen, then how much memory it holds once idle. Both programs of a comparison are measured the same way,
// without any code of ours inside them.
//
//   first-frame [--settle SECONDS] PROGRAM [ARGUMENT ...]
//
// Prints "<seconds from spawn to the first frame> <VmRSS in KiB, SECONDS (default 2) after that frame>".
// Exits 3 when the run cannot be timed soundly (see below) and should be repeated, 1 on any other failure.
//
// The first frame is the first drawing the X server sees in a mapped top-level window of the program,
// reported by the DAMAGE extension. Qt windows have no background of their own (background None), so the
// server draws nothing into them by itself: the first damage is the program's first flush of its backing
// store, after it has laid out and painted every widget. The damage object must exist before the window is
// mapped, so it is made when the window is created (CreateNotify on the root); a window found already
// mapped at that moment makes the run unsound (exit 3).

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

extern char **environ;

namespace {

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

pid_t child = 0;

[[noreturn]] void fail(int code, const char *what)
{
    std::fprintf(stderr, "first-frame: %s\n", what);
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    std::exit(code);
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    double settle = 2.0;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
        settle = std::atof(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: first-frame [--settle SECONDS] PROGRAM [ARGUMENT ...]\n");
        return 1;
    }

    int screenNumber = 0;
    xcb_connection_t *x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x))
        fail(1, "cannot connect to the X server");
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(x, &xcb_damage_id);
    if (!damage || !damage->present)
        fail(1, "the X server lacks the DAMAGE extension");
    std::free(xcb_damage_query_version_reply(x, xcb_damage_query_version(x, 1, 1), nullptr));

    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip, so that the server watches the root before the program can create anything.
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));

    const double start = now();
    if (posix_spawnp(&child, argv[first], nullptr, nullptr, argv + first, environ) != 0)
        fail(1, "cannot start the program");

    std::set<xcb_window_t> mapped;
    double frame = -1;
    const int fd = xcb_get_file_descriptor(x);
    while (frame < 0) {
        xcb_generic_event_t *event = xcb_poll_for_event(x);
        if (!event) {
            if (xcb_connection_has_error(x))
                fail(1, "lost the X server");
            if (waitpid(child, nullptr, WNOHANG) == child) {
                child = 0;
                fail(1, "the program ended before its first frame");
            }
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, 1000) == 0 && now() - start > 120)
                fail(1, "no frame within 120 s");
            continue;
        }
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
            xcb_damage_create(x, xcb_generate_id(x), created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
            xcb_get_window_attributes_reply_t *attributes =
                xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, created->window), nullptr);
            const bool late = attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
            std::free(attributes);
            if (late)
                fail(3, "a window was mapped before its damage could be watched");
        } else if (type == XCB_MAP_NOTIFY) {
            const auto *shown = reinterpret_cast<xcb_map_notify_event_t *>(event);
            if (!shown->override_redirect)
                mapped.insert(shown->window);
        } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY) {
            const auto *drawn = reinterpret_cast<xcb_damage_notify_event_t *>(event);
            if (mapped.count(drawn->drawable))
                frame = now();
        }
        std::free(event);
    }

    // Idle: nothing is asked of the program while it settles.
    timespec pause{static_cast<time_t>(settle), static_cast<long>((settle - static_cast<double>(static_cast<time_t>(settle))) * 1e9)};
    nanosleep(&pause, nullptr);
    const long rss = residentKiB(child);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    xcb_disconnect(x);
    if (rss < 0)
        fail(1, "cannot read the program's VmRSS");
    std::printf("%.6f %ld\n", frame - start, rss);
    return 0;
}
