// Preloaded into a Qt program under the start-up instruction count: ends the
// program right after its first frame reaches the X server, so that a count
// taken from process start covers the start and nothing after it. The first
// frame is the first picture drawn into a window once a window has been
// mapped (Qt's xcb backing store sends it with PutImage, ShmPutImage or
// CopyArea). The program itself is not changed; this exists for the bench.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

typedef struct xcb_connection_t xcb_connection_t;
typedef struct {
  unsigned int sequence;
} xcb_void_cookie_t;

static int mapped;

// The real function. Qt's xcb plugin is loaded with dlopen, and the libraries
// it brings (libxcb-shm) are not in the global scope that RTLD_NEXT searches.
static void* Next(const char* library, const char* name) {
  void* next = dlsym(RTLD_NEXT, name);
  if (next == NULL) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (handle != NULL) next = dlsym(handle, name);
  }
  if (next == NULL) _exit(90);  // nothing to pass the call on to: fail loudly
  return next;
}

static void EndAfterFrame(xcb_connection_t* c) {
  if (!mapped) return;
  int (*flush)(xcb_connection_t*) = Next("libxcb.so.1", "xcb_flush");
  flush(c);
  _exit(0);
}

xcb_void_cookie_t xcb_map_window(xcb_connection_t* c, uint32_t window) {
  xcb_void_cookie_t (*next)(xcb_connection_t*, uint32_t) = Next("libxcb.so.1", "xcb_map_window");
  mapped = 1;
  return next(c, window);
}

xcb_void_cookie_t xcb_map_window_checked(xcb_connection_t* c, uint32_t window) {
  xcb_void_cookie_t (*next)(xcb_connection_t*, uint32_t) = Next("libxcb.so.1", "xcb_map_window_checked");
  mapped = 1;
  return next(c, window);
}

#define PUT_IMAGE_ARGS                                                                                           \
  xcb_connection_t *c, uint8_t format, uint32_t drawable, uint32_t gc, uint16_t width, uint16_t height,          \
      int16_t dst_x, int16_t dst_y, uint8_t left_pad, uint8_t depth, uint32_t data_len, const uint8_t *data
#define PUT_IMAGE_CALL c, format, drawable, gc, width, height, dst_x, dst_y, left_pad, depth, data_len, data

xcb_void_cookie_t xcb_put_image(PUT_IMAGE_ARGS) {
  xcb_void_cookie_t (*next)(PUT_IMAGE_ARGS) = Next("libxcb.so.1", "xcb_put_image");
  xcb_void_cookie_t cookie = next(PUT_IMAGE_CALL);
  EndAfterFrame(c);
  return cookie;
}

xcb_void_cookie_t xcb_put_image_checked(PUT_IMAGE_ARGS) {
  xcb_void_cookie_t (*next)(PUT_IMAGE_ARGS) = Next("libxcb.so.1", "xcb_put_image_checked");
  xcb_void_cookie_t cookie = next(PUT_IMAGE_CALL);
  EndAfterFrame(c);
  return cookie;
}

#define SHM_PUT_IMAGE_ARGS                                                                                       \
  xcb_connection_t *c, uint32_t drawable, uint32_t gc, uint16_t total_width, uint16_t total_height,              \
      uint16_t src_x, uint16_t src_y, uint16_t src_width, uint16_t src_height, int16_t dst_x, int16_t dst_y,     \
      uint8_t depth, uint8_t format, uint8_t send_event, uint32_t shmseg, uint32_t offset
#define SHM_PUT_IMAGE_CALL                                                                                       \
  c, drawable, gc, total_width, total_height, src_x, src_y, src_width, src_height, dst_x, dst_y, depth, format, \
      send_event, shmseg, offset

xcb_void_cookie_t xcb_shm_put_image(SHM_PUT_IMAGE_ARGS) {
  xcb_void_cookie_t (*next)(SHM_PUT_IMAGE_ARGS) = Next("libxcb-shm.so.0", "xcb_shm_put_image");
  xcb_void_cookie_t cookie = next(SHM_PUT_IMAGE_CALL);
  EndAfterFrame(c);
  return cookie;
}

xcb_void_cookie_t xcb_shm_put_image_checked(SHM_PUT_IMAGE_ARGS) {
  xcb_void_cookie_t (*next)(SHM_PUT_IMAGE_ARGS) = Next("libxcb-shm.so.0", "xcb_shm_put_image_checked");
  xcb_void_cookie_t cookie = next(SHM_PUT_IMAGE_CALL);
  EndAfterFrame(c);
  return cookie;
}

#define COPY_AREA_ARGS                                                                                           \
  xcb_connection_t *c, uint32_t src_drawable, uint32_t dst_drawable, uint32_t gc, int16_t src_x, int16_t src_y, \
      int16_t dst_x, int16_t dst_y, uint16_t width, uint16_t height
#define COPY_AREA_CALL c, src_drawable, dst_drawable, gc, src_x, src_y, dst_x, dst_y, width, height

xcb_void_cookie_t xcb_copy_area(COPY_AREA_ARGS) {
  xcb_void_cookie_t (*next)(COPY_AREA_ARGS) = Next("libxcb.so.1", "xcb_copy_area");
  xcb_void_cookie_t cookie = next(COPY_AREA_CALL);
  EndAfterFrame(c);
  return cookie;
}

xcb_void_cookie_t xcb_copy_area_checked(COPY_AREA_ARGS) {
  xcb_void_cookie_t (*next)(COPY_AREA_ARGS) = Next("libxcb.so.1", "xcb_copy_area_checked");
  xcb_void_cookie_t cookie = next(COPY_AREA_CALL);
  EndAfterFrame(c);
  return cookie;
}
