// A weston module for tests: weston's headless backend brings no input devices, so it has no wl_seat and
// its clients never learn a keymap. This gives it one seat with a keyboard carrying weston.ini's keymap
// ([keyboard] keymap_layout, keymap_variant, keymap_options), as a desktop with a real keyboard has.
// - On SIGUSR2 the seat's keymap becomes the layouts named by $SRD_TEST_NEXT_LAYOUTS, as when a user changes
//   the keyboard settings.
// - Its keys are pressed by writing lines "CODE 1" (press) and "CODE 0" (release), with Linux key codes, to the
//   FIFO "test-seat-keys" in weston's runtime directory: they reach the focused window as a real keyboard's
//   would, and the keymap's own chords (a layout switch) act on them.

#include <fcntl.h>
#include <libweston/libweston.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-server.h>
#include <xkbcommon/xkbcommon.h>

// Part of libweston's backend interface, which libweston-10 exports but does not install a header for.
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* compositor, const char* name);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);
void weston_seat_update_keymap(struct weston_seat* seat, struct xkb_keymap* keymap);
// The last argument is libweston's enum weston_key_state_update; 0 lets the seat update its XKB state.
void notify_key(struct weston_seat* seat, const struct timespec* time, uint32_t key,
                enum wl_keyboard_key_state state, int update_state);

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

struct KeyFeed {
  struct weston_seat* seat;
  char pending[256];
  size_t used;
};

static int OnKeyLines(int fd, uint32_t mask, void* data) {
  (void)mask;
  struct KeyFeed* feed = data;
  const ssize_t n = read(fd, feed->pending + feed->used, sizeof feed->pending - feed->used - 1);
  if (n <= 0) {
    return 0;
  }
  feed->used += (size_t)n;
  feed->pending[feed->used] = '\0';
  char* line = feed->pending;
  char* end = NULL;
  while ((end = strchr(line, '\n')) != NULL) {
    *end = '\0';
    unsigned key = 0;
    unsigned down = 0;
    if (sscanf(line, "%u %u", &key, &down) == 2) {
      struct timespec now;
      weston_compositor_get_time(&now);
      notify_key(feed->seat, &now, key, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED,
                 0);
    }
    line = end + 1;
  }
  feed->used -= (size_t)(line - feed->pending);
  memmove(feed->pending, line, feed->used);
  if (feed->used == sizeof feed->pending - 1) {
    feed->used = 0;  // a line too long to be one of ours
  }
  return 0;
}

// The FIFO keys are read from; false when it cannot be made.
static int FeedKeys(struct weston_compositor* compositor, struct weston_seat* seat) {
  struct KeyFeed* feed = calloc(1, sizeof *feed);
  if (feed == NULL) {
    return 0;
  }
  feed->seat = seat;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  char path[4096];
  snprintf(path, sizeof path, "%s/test-seat-keys", runtime != NULL ? runtime : "/tmp");
  mkfifo(path, 0600);
  // Read and write: the FIFO never reports an end when a test's writer closes it.
  const int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return 0;
  }
  wl_event_loop_add_fd(wl_display_get_event_loop(compositor->wl_display), fd, WL_EVENT_READABLE, OnKeyLines,
                       feed);
  return 1;
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
  if (weston_seat_init_keyboard(seat, NULL) < 0 || !FeedKeys(compositor, seat)) {
    return -1;
  }
  return 0;
}
