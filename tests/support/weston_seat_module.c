// A weston module for tests: weston's headless backend brings no input devices, so it has no wl_seat and
// its clients never learn a keymap. This gives it one seat with a keyboard carrying weston.ini's keymap
// ([keyboard] keymap_layout, keymap_variant, keymap_options), as a desktop with a real keyboard has. On
// SIGUSR2 the seat's keymap becomes the layouts named by $SRD_TEST_NEXT_LAYOUTS, as when a user changes the
// keyboard settings.

#include <libweston/libweston.h>
#include <signal.h>
#include <stdlib.h>
#include <wayland-server.h>
#include <xkbcommon/xkbcommon.h>

// Part of libweston's backend interface, which libweston-10 exports but does not install a header for.
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* compositor, const char* name);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);
void weston_seat_update_keymap(struct weston_seat* seat, struct xkb_keymap* keymap);

static int SwitchKeymap(int signal, void* data) {
  (void)signal;
  struct weston_seat* seat = data;
  const char* layouts = getenv("SRD_TEST_NEXT_LAYOUTS");
  struct xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  const struct xkb_rule_names names = {"evdev", "pc105", layouts != NULL ? layouts : "us", "", ""};
  struct xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (keymap != NULL) {
    weston_seat_update_keymap(seat, keymap);
    xkb_keymap_unref(keymap);
  }
  xkb_context_unref(context);
  return 0;
}

__attribute__((visibility("default"))) int wet_module_init(struct weston_compositor* compositor, int* argc,
                                                           char* argv[]) {
  (void)argc;
  (void)argv;
  struct weston_seat* seat = calloc(1, sizeof *seat);
  if (seat == NULL) {
    return -1;
  }
  weston_seat_init(seat, compositor, "test-seat");
  wl_event_loop_add_signal(wl_display_get_event_loop(compositor->wl_display), SIGUSR2, SwitchKeymap, seat);
  // NULL: the compositor's keymap, compiled from the configuration's rule names.
  return weston_seat_init_keyboard(seat, NULL);
}
