#pragma once

#include <cstdint>
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

  // Connects to the compositor `displayName` (a socket name in XDG_RUNTIME_DIR or an absolute path) and
  // reports its keymap through onKeymap before returning when it has one, then each new one from the thread.
  // A seat without a keyboard yet (a machine whose only keyboard is one the program is creating, or one
  // plugged in later) or no seat yet is listened to all the same: the object comes back with *whyNot saying
  // what is missing, and its keymap comes from the thread once a keyboard appears. nullptr with *whyNot set
  // when no compositor answers within `limitMs` (connecting included).
  static std::unique_ptr<CompositorKeymap> Start(const std::string& displayName, OnKeymap onKeymap,
                                                 int limitMs, std::string* whyNot);
  ~CompositorKeymap();
  CompositorKeymap(const CompositorKeymap&) = delete;
  CompositorKeymap& operator=(const CompositorKeymap&) = delete;

 private:
  CompositorKeymap(wl_display* display, int wakeFd);
  // Dispatches events until `done` holds or the time is over (limitMs < 0: never); false then, when the
  // thread is stopped (or `stopFd` is readable), or when the connection failed.
  bool DispatchUntil(const std::function<bool()>& done, int limitMs, int stopFd = -1);
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
  unsigned seatVersion_ = 0;
  wl_keyboard* keyboard_ = nullptr;
  bool globalsListed_ = false;
  bool seatAnswered_ = false;  // the seat told its capabilities
  std::string keymap_;
  bool fresh_ = false;  // keymap_ arrived since last reported
  OnKeymap onKeymap_;
  std::thread thread_;
};

// The keymap text a wl_keyboard keymap event's descriptor holds: at most `size` bytes (the size counts a
// closing NUL), read, never mapped, so that a file shorter than it says (or one cut short meanwhile) ends the
// text instead of the process; empty for a file above `limit` bytes or one that cannot be read.
std::string ReadKeymapFile(int fd, std::uint64_t size, std::uint64_t limit);

}  // namespace srd
