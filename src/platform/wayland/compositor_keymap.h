#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_keyboard;
struct wl_callback;

namespace srd {

// The keymap a Wayland compositor gives its clients' keyboards, followed on a connection and a thread of its
// own. The compositor sends it to every client that asks for the seat's keyboard, with or without a window,
// and again whenever the user's keyboard configuration changes.
class CompositorKeymap {
 public:
  using OnKeymap = std::function<void(const std::string& keymapText)>;

  // Connects to the compositor `displayName` (a socket name in XDG_RUNTIME_DIR or an absolute path), reports
  // its keymap through onKeymap before returning, then each new one from the thread. nullptr with *whyNot set
  // when there is no compositor, no seat with a keyboard, or no keymap within `limitMs`.
  static std::unique_ptr<CompositorKeymap> Start(const std::string& displayName, OnKeymap onKeymap,
                                                 int limitMs, std::string* whyNot);
  ~CompositorKeymap();
  CompositorKeymap(const CompositorKeymap&) = delete;
  CompositorKeymap& operator=(const CompositorKeymap&) = delete;

 private:
  CompositorKeymap(wl_display* display, int wakeFd);
  // Dispatches events until `done` holds or the time is over (limitMs < 0: never); false then, when the
  // thread is stopped, or when the connection failed.
  bool DispatchUntil(const std::function<bool()>& done, int limitMs);
  void Run();

  static void OnGlobal(void* self, wl_registry* registry, unsigned name, const char* interface,
                       unsigned version);
  static void OnGlobalRemove(void*, wl_registry*, unsigned) {}
  static void OnGlobalsListed(void* self, wl_callback* callback, unsigned);
  static void OnCapabilities(void* self, wl_seat* seat, unsigned capabilities);
  static void OnSeatName(void*, wl_seat*, const char*) {}
  static void OnKeymapEvent(void* self, wl_keyboard* keyboard, unsigned format, int fd, unsigned size);

  wl_display* display_;
  int wakeFd_;  // an eventfd: written to stop the thread
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  bool globalsListed_ = false;
  bool seatAnswered_ = false;  // the seat told its capabilities
  std::string keymap_;
  bool fresh_ = false;  // keymap_ arrived since last reported
  OnKeymap onKeymap_;
  std::thread thread_;
};

}  // namespace srd
