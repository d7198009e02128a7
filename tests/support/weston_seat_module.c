// A weston module for tests: weston's headless backend brings no input devices, so it has no wl_seat and
// its clients never learn a keymap. This gives it one seat with a keyboard carrying weston.ini's keymap
// ([keyboard] keymap_layout, keymap_variant, keymap_options), as a desktop with a real keyboard has.

#include <libweston/libweston.h>
#include <stdlib.h>

// Part of libweston's backend interface, which libweston-10 exports but does not install a header for.
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* compositor, const char* name);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);

__attribute__((visibility("default"))) int wet_module_init(struct weston_compositor* compositor, int* argc,
                                                           char* argv[]) {
  (void)argc;
  (void)argv;
  struct weston_seat* seat = calloc(1, sizeof *seat);
  if (seat == NULL) {
    return -1;
  }
  weston_seat_init(seat, compositor, "test-seat");
  // NULL: the compositor's keymap, compiled from the configuration's rule names.
  return weston_seat_init_keyboard(seat, NULL);
}
