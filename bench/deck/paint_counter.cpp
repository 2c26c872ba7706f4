// Preloaded into the measured program: counts what its windows send the X server as pictures.
// Every image put and area copy is one request; a flush of the connection that follows any of them
// ends one flush of the windows, as the toolkit flushes after painting. The counts live in a
// shared file (DECK_PAINTS names it) that the measuring program reads while this one runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "bench/deck/paint_counter.h"

extern "C" {
struct xcb_connection_t;
struct xcb_void_cookie_t {
  unsigned int sequence;
};
}

namespace {

DeckPaintCounters* Counters() {
  static DeckPaintCounters* c = []() -> DeckPaintCounters* {
    const char* path = std::getenv("DECK_PAINTS");
    if (!path || !*path) return nullptr;
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return nullptr;
    void* p = ::mmap(nullptr, sizeof(DeckPaintCounters), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<DeckPaintCounters*>(p);
  }();
  return c;
}

// The toolkit's platform plugin is opened locally, so the libraries it brings are not in the global
// scope that RTLD_NEXT searches: look in the library itself, which is loaded by the time of a call.
template <typename F>
F Next(const char* name, const char* library) {
  if (void* f = ::dlsym(RTLD_NEXT, name)) return reinterpret_cast<F>(f);
  void* lib = ::dlopen(library, RTLD_NOW | RTLD_NOLOAD);
  return lib ? reinterpret_cast<F>(::dlsym(lib, name)) : nullptr;
}

thread_local bool g_put = false;  // a picture went out since the last flush

void CountPut() {
  if (DeckPaintCounters* c = Counters()) c->puts.fetch_add(1, std::memory_order_relaxed);
  g_put = true;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) xcb_void_cookie_t xcb_shm_put_image(
    xcb_connection_t* c, uint32_t drawable, uint32_t gc, uint16_t total_width, uint16_t total_height, uint16_t src_x,
    uint16_t src_y, uint16_t src_width, uint16_t src_height, int16_t dst_x, int16_t dst_y, uint8_t depth,
    uint8_t format, uint8_t send_event, uint32_t shmseg, uint32_t offset) {
  using Fn = xcb_void_cookie_t (*)(xcb_connection_t*, uint32_t, uint32_t, uint16_t, uint16_t, uint16_t, uint16_t,
                                   uint16_t, uint16_t, int16_t, int16_t, uint8_t, uint8_t, uint8_t, uint32_t, uint32_t);
  static Fn next = Next<Fn>("xcb_shm_put_image", "libxcb-shm.so.0");
  CountPut();
  return next(c, drawable, gc, total_width, total_height, src_x, src_y, src_width, src_height, dst_x, dst_y, depth,
              format, send_event, shmseg, offset);
}

__attribute__((visibility("default"))) xcb_void_cookie_t xcb_put_image(xcb_connection_t* c, uint8_t format,
                                                                       uint32_t drawable, uint32_t gc, uint16_t width,
                                                                       uint16_t height, int16_t dst_x, int16_t dst_y,
                                                                       uint8_t left_pad, uint8_t depth,
                                                                       uint32_t data_len, const uint8_t* data) {
  using Fn = xcb_void_cookie_t (*)(xcb_connection_t*, uint8_t, uint32_t, uint32_t, uint16_t, uint16_t, int16_t, int16_t,
                                   uint8_t, uint8_t, uint32_t, const uint8_t*);
  static Fn next = Next<Fn>("xcb_put_image", "libxcb.so.1");
  CountPut();
  return next(c, format, drawable, gc, width, height, dst_x, dst_y, left_pad, depth, data_len, data);
}

__attribute__((visibility("default"))) xcb_void_cookie_t xcb_copy_area(xcb_connection_t* c, uint32_t src, uint32_t dst,
                                                                       uint32_t gc, int16_t src_x, int16_t src_y,
                                                                       int16_t dst_x, int16_t dst_y, uint16_t width,
                                                                       uint16_t height) {
  using Fn = xcb_void_cookie_t (*)(xcb_connection_t*, uint32_t, uint32_t, uint32_t, int16_t, int16_t, int16_t, int16_t,
                                   uint16_t, uint16_t);
  static Fn next = Next<Fn>("xcb_copy_area", "libxcb.so.1");
  CountPut();
  return next(c, src, dst, gc, src_x, src_y, dst_x, dst_y, width, height);
}

__attribute__((visibility("default"))) int xcb_flush(xcb_connection_t* c) {
  using Fn = int (*)(xcb_connection_t*);
  static Fn next = Next<Fn>("xcb_flush", "libxcb.so.1");
  if (g_put) {
    g_put = false;
    if (DeckPaintCounters* k = Counters()) k->flushes.fetch_add(1, std::memory_order_relaxed);
  }
  return next(c);
}

}  // extern "C"
