#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;

namespace srd {

using KeyEvent = std::pair<int, bool>;  // X keycode, down

// A separate X client that sees every key event reaching the server, whatever has the focus: XI2 raw events
// of the master keyboard. The server's own auto-repeat makes no raw events; an observer of the events
// delivered to windows (`delivered`, with the focus on the root window, as on a server with no window
// manager) sees those too.
class KeyObserver {
 public:
  explicit KeyObserver(const std::string& displayName, bool delivered = false);
  ~KeyObserver();
  KeyObserver(const KeyObserver&) = delete;
  KeyObserver& operator=(const KeyObserver&) = delete;

  bool Ready() const { return ready_; }
  // Collects events until `count` have arrived or a generous time has passed.
  std::vector<KeyEvent> Take(std::size_t count);
  // Collects every event that arrives within `period`: for counting what must not arrive.
  std::vector<KeyEvent> TakeFor(std::chrono::milliseconds period);
  // Collects events until none has come for `quiet`; *lastArrival is when the last one was read (unchanged
  // when none came).
  std::vector<KeyEvent> TakeUntilQuiet(std::chrono::milliseconds quiet,
                                       std::chrono::steady_clock::time_point* lastArrival);
  // Collects events until the release of `endKey` (a marker key typed after what is being read) has arrived
  // or a generous time has passed; the events from the marker's press on are left out.
  std::vector<KeyEvent> TakeUntilReleaseOf(int endKey);
  // The keycodes the server holds down.
  std::vector<int> KeysDown();
  // The keysym of a keycode at a level (0 plain, 1 with Shift) in the server's keymap; 0 when it has none.
  unsigned long KeysymOf(int keycode, int level = 0);
  // The observer's own connection, for queries of the server's state.
  _XDisplay* Connection() const { return display_; }

 private:
  std::vector<KeyEvent> Collect(std::chrono::steady_clock::time_point deadline, std::size_t count);
  // Reads what the connection holds into events_; true when something arrived.
  bool ReadPending();

  _XDisplay* display_;
  int opcode_ = 0;
  bool ready_ = false;
  std::vector<KeyEvent> events_;
};

}  // namespace srd
