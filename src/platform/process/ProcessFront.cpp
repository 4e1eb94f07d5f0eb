// Bringing a process's window to the front on X11, by asking the window
// manager (EWMH _NET_ACTIVE_WINDOW) rather than raising the window ourselves,
// which window managers undo or refuse.
//
// libxcb is loaded at run time: the engine must work, and simply raise
// nothing, on a machine or session without X11. xcb rather than Xlib because
// Xlib's default error handler ends the process on the first protocol error
// (a window that vanished between two requests is enough), and replacing it
// is process-wide; xcb returns errors with each reply.

#include "Processes.h"
#include "ProcessesPrivate.h"

#include <dlfcn.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long kWindowWaitMs = 120000;  // an agent shows its dialog when polkit asks
constexpr long kWindowPollMs = 250;
constexpr uint32_t kMaxClientWindows = 4096;
constexpr uint32_t kSourcePager = 2;  // activation on the user's behalf, not by an application

// The libxcb entry points used here, looked up by name.
struct Xcb {
  void* library = nullptr;
  decltype(&xcb_connect) connect = nullptr;
  decltype(&xcb_connection_has_error) connectionHasError = nullptr;
  decltype(&xcb_disconnect) disconnect = nullptr;
  decltype(&xcb_get_setup) getSetup = nullptr;
  decltype(&xcb_setup_roots_iterator) setupRootsIterator = nullptr;
  decltype(&xcb_screen_next) screenNext = nullptr;
  decltype(&xcb_intern_atom) internAtom = nullptr;
  decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
  decltype(&xcb_get_property) getProperty = nullptr;
  decltype(&xcb_get_property_reply) getPropertyReply = nullptr;
  decltype(&xcb_get_property_value) getPropertyValue = nullptr;
  decltype(&xcb_get_property_value_length) getPropertyValueLength = nullptr;
  decltype(&xcb_send_event_checked) sendEventChecked = nullptr;
  decltype(&xcb_request_check) requestCheck = nullptr;
  decltype(&xcb_flush) flush = nullptr;
};

template <typename Fn>
bool Bind(void* library, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(dlsym(library, name));
  return *fn != nullptr;
}

bool LoadXcb(Xcb* xcb) {
  xcb->library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (xcb->library == nullptr) return false;
  void* l = xcb->library;
  bool ok = Bind(l, "xcb_connect", &xcb->connect) &&
            Bind(l, "xcb_connection_has_error", &xcb->connectionHasError) &&
            Bind(l, "xcb_disconnect", &xcb->disconnect) && Bind(l, "xcb_get_setup", &xcb->getSetup) &&
            Bind(l, "xcb_setup_roots_iterator", &xcb->setupRootsIterator) &&
            Bind(l, "xcb_screen_next", &xcb->screenNext) && Bind(l, "xcb_intern_atom", &xcb->internAtom) &&
            Bind(l, "xcb_intern_atom_reply", &xcb->internAtomReply) &&
            Bind(l, "xcb_get_property", &xcb->getProperty) &&
            Bind(l, "xcb_get_property_reply", &xcb->getPropertyReply) &&
            Bind(l, "xcb_get_property_value", &xcb->getPropertyValue) &&
            Bind(l, "xcb_get_property_value_length", &xcb->getPropertyValueLength) &&
            Bind(l, "xcb_send_event_checked", &xcb->sendEventChecked) &&
            Bind(l, "xcb_request_check", &xcb->requestCheck) && Bind(l, "xcb_flush", &xcb->flush);
  if (!ok) {
    (void) dlclose(xcb->library);
    xcb->library = nullptr;
  }
  return ok;
}

// XCB_ATOM_NONE when the atom does not exist, i.e. no client ever used it.
xcb_atom_t ExistingAtom(const Xcb& xcb, xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb.internAtomReply(c, xcb.internAtom(c, 1, static_cast<uint16_t>(strlen(name)), name), nullptr);
  xcb_atom_t atom = (reply != nullptr) ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  free(reply);
  return atom;
}

// The newest managed top-level window whose _NET_WM_PID is pid, or
// XCB_WINDOW_NONE. The client list is in mapping order, oldest first.
xcb_window_t FindWindowOf(const Xcb& xcb, xcb_connection_t* c, xcb_window_t root, xcb_atom_t clientList,
                          xcb_atom_t wmPid, int32_t pid) {
  xcb_get_property_reply_t* list = xcb.getPropertyReply(
      c, xcb.getProperty(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, kMaxClientWindows), nullptr);
  if (list == nullptr) return XCB_WINDOW_NONE;
  xcb_window_t found = XCB_WINDOW_NONE;
  if (list->type == XCB_ATOM_WINDOW && list->format == 32) {
    int length = xcb.getPropertyValueLength(list);
    uint32_t count = static_cast<uint32_t>(length > 0 ? length : 0) / 4;
    const xcb_window_t* windows = static_cast<const xcb_window_t*>(xcb.getPropertyValue(list));
    xcb_get_property_cookie_t* cookies =
        static_cast<xcb_get_property_cookie_t*>(malloc((count > 0 ? count : 1) * sizeof(xcb_get_property_cookie_t)));
    if (cookies != nullptr) {
      // Ask for every window's pid before reading any answer: one round trip.
      for (uint32_t i = 0; i < count; i++) {
        cookies[i] = xcb.getProperty(c, 0, windows[i], wmPid, XCB_ATOM_CARDINAL, 0, 1);
      }
      for (uint32_t i = 0; i < count; i++) {
        xcb_generic_error_t* error = nullptr;
        xcb_get_property_reply_t* reply = xcb.getPropertyReply(c, cookies[i], &error);
        free(error);  // a window that went away meanwhile
        if (reply != nullptr && reply->type == XCB_ATOM_CARDINAL && reply->format == 32 &&
            xcb.getPropertyValueLength(reply) == 4 &&
            *static_cast<const uint32_t*>(xcb.getPropertyValue(reply)) == static_cast<uint32_t>(pid)) {
          found = windows[i];
        }
        free(reply);
      }
      free(cookies);
    }
  }
  free(list);
  return found;
}

OSStatus ActivateWindow(const Xcb& xcb, xcb_connection_t* c, xcb_window_t root, xcb_atom_t activeWindow,
                        xcb_window_t window) {
  xcb_client_message_event_t event;
  memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = activeWindow;
  event.data.data32[0] = kSourcePager;
  event.data.data32[1] = XCB_CURRENT_TIME;
  event.data.data32[2] = XCB_WINDOW_NONE;
  xcb_void_cookie_t cookie =
      xcb.sendEventChecked(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&event));
  xcb_generic_error_t* error = xcb.requestCheck(c, cookie);
  OSStatus err = (error != nullptr) ? EIO : noErr;
  free(error);
  (void) xcb.flush(c);
  return err;
}

OSStatus RaiseOnDisplay(const Xcb& xcb, const ProcessSerialNumber* psn) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb.connect(nullptr, &screenNumber);
  OSStatus err = noErr;
  if (xcb.connectionHasError(c) == 0) {
    xcb_screen_iterator_t screens = xcb.setupRootsIterator(xcb.getSetup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; i++) xcb.screenNext(&screens);
    xcb_atom_t clientList = ExistingAtom(xcb, c, "_NET_CLIENT_LIST");
    xcb_atom_t wmPid = ExistingAtom(xcb, c, "_NET_WM_PID");
    xcb_atom_t activeWindow = ExistingAtom(xcb, c, "_NET_ACTIVE_WINDOW");
    // Without these atoms there is no EWMH window manager to ask.
    if (screens.rem > 0 && clientList != XCB_ATOM_NONE && wmPid != XCB_ATOM_NONE &&
        activeWindow != XCB_ATOM_NONE) {
      xcb_window_t root = screens.data->root;
      long long deadline = ProcessNowMs() + kWindowWaitMs;
      for (;;) {
        if (!ProcessIsRunning(psn)) {
          err = procNotFound;
          break;
        }
        xcb_window_t window = FindWindowOf(xcb, c, root, clientList, wmPid, psn->pid);
        if (window != XCB_WINDOW_NONE) {
          err = ActivateWindow(xcb, c, root, activeWindow, window);
          break;
        }
        if (xcb.connectionHasError(c) != 0 || ProcessNowMs() >= deadline) break;
        ProcessSleepMs(kWindowPollMs);
      }
    }
  }
  xcb.disconnect(c);
  return err;
}

}  // namespace

OSStatus SetFrontProcess(const ProcessSerialNumber* psn) {
  if (psn == nullptr || !ProcessIsRunning(psn)) return procNotFound;
  // Only an X11 session has windows that another client may ask to raise;
  // under Wayland the compositor decides alone.
  const char* display = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  if (display == nullptr || display[0] == '\0' || (wayland != nullptr && wayland[0] != '\0')) return noErr;

  Xcb xcb;
  if (!LoadXcb(&xcb)) return noErr;
  OSStatus err = RaiseOnDisplay(xcb, psn);
  (void) dlclose(xcb.library);
  return err;
}
