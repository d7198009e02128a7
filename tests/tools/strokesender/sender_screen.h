#pragma once

#include <string>

struct _XDisplay;

namespace srd::test {

// Keys held through XTest repeat on their server unless this is turned off; repeats would blur which events a
// program caused.
void SetAutoRepeat(const std::string& displayName, bool on);

// The test's own connection to the sender's X server: finds the capture window, types into it with XTest and
// moves the focus and closes the window as a user and a window manager would.
class SenderScreen {
 public:
  explicit SenderScreen(const std::string& displayName);
  ~SenderScreen();
  SenderScreen(const SenderScreen&) = delete;
  SenderScreen& operator=(const SenderScreen&) = delete;

  // The mapped top-level window with this title (_NET_WM_NAME), or 0.
  unsigned long Find(const std::string& title);
  unsigned long Focused();
  void Focus(unsigned long window);
  // Gives the focus to the root window: the capture window loses it as when the user clicks elsewhere.
  void Unfocus();
  void Key(int keycode, bool down);
  // Switches the keyboard to another of its layouts, as a layout switcher does.
  void LockGroup(unsigned group);
  // The WM_DELETE_WINDOW message that a window manager sends when the close button is clicked.
  void AskToClose(unsigned long window);

 private:
  std::string Title(unsigned long window);

  _XDisplay* display_;
};

}  // namespace srd::test
