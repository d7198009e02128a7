#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;

namespace srd {

using KeyEvent = std::pair<int, bool>;  // X keycode, down

// A separate X client that sees every key event reaching the server, whatever has the focus: XI2 raw events
// of the master keyboard.
class KeyObserver {
 public:
  explicit KeyObserver(const std::string& displayName);
  ~KeyObserver();
  KeyObserver(const KeyObserver&) = delete;
  KeyObserver& operator=(const KeyObserver&) = delete;

  bool Ready() const { return ready_; }
  // Collects events until `count` have arrived or a generous time has passed.
  std::vector<KeyEvent> Take(std::size_t count);
  // The keycodes the server holds down.
  std::vector<int> KeysDown();
  // The first keysym of a keycode in the server's keymap; 0 when it has none.
  unsigned long KeysymOf(int keycode);

 private:
  _XDisplay* display_;
  int opcode_ = 0;
  bool ready_ = false;
  std::vector<KeyEvent> events_;
};

}  // namespace srd
