// Asks a window whether its application answers, as a window manager does
// before it offers to force-quit a program that does not: it sends the
// window _NET_WM_PING and waits, bounded, for the reply on the root window.
//
//   quillon_wm_ping WINDOW-ID TIMEOUT-MS
//
// Exits 0 when the reply came in time, 1 when it did not, 2 on bad use or
// when the display cannot be opened.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s WINDOW-ID TIMEOUT-MS\n", argv[0]);
    return 2;
  }
  const Window window = std::strtoul(argv[1], nullptr, 0);
  const long timeoutMs = std::strtol(argv[2], nullptr, 10);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr || window == 0 || timeoutMs <= 0) {
    std::fprintf(stderr, "%s: no display, or a bad window or time-out\n", argv[0]);
    return 2;
  }
  const Window root = DefaultRootWindow(display);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  // The reply goes to the root window, to whoever listens there for
  // structure changes (as a window manager does).
  XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);

  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(ping);
  event.xclient.data.l[1] = CurrentTime;
  event.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    while (XPending(display) > 0) {
      XEvent reply;
      XNextEvent(display, &reply);
      if (reply.type == ClientMessage && reply.xclient.message_type == protocols &&
          static_cast<Atom>(reply.xclient.data.l[0]) == ping &&
          static_cast<Window>(reply.xclient.data.l[2]) == window) {
        std::printf("pong\n");
        XCloseDisplay(display);
        return 0;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    (void) poll(&fd, 1, static_cast<int>(left.count()));
  }
  std::fprintf(stderr, "%s: no answer to _NET_WM_PING within %ld ms\n", argv[0], timeoutMs);
  XCloseDisplay(display);
  return 1;
}
