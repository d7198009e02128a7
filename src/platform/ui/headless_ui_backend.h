#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/ui_backend.h"

namespace srd {

// A backend without widgets: windows exist only in the layer. Used by the tests and by the program when there
// is no display. Wait is a poll() on an eventfd (Wake) and the watched descriptors.
class HeadlessUiBackend final : public UiBackend {
 public:
  HeadlessUiBackend();
  ~HeadlessUiBackend() override;
  HeadlessUiBackend(const HeadlessUiBackend&) = delete;
  HeadlessUiBackend& operator=(const HeadlessUiBackend&) = delete;

  const char* Name() const override { return "headless"; }

  bool OnMenuBar(Window* bar, const MenuResource& menu) override;
  FrontResult BringToFront(Window* window, const std::string& activationToken) override;
  void OnModal(Window* dialog, Window* owner, bool begin) override;
  Rect DefaultWindowRect() override { return defaultRect_; }

  void Wait() override;
  void Wake() override;
  bool WatchFd(int fd, std::function<void()> onReadable) override;
  void UnwatchFd(int fd) override;

  // For tests: whether menu bars can be built (default true), and how often a window was brought forward.
  void SetMenuBarsAvailable(bool available) { menuBarsAvailable_ = available; }
  void SetDefaultWindowRect(const Rect& rect) { defaultRect_ = rect; }
  int BringToFrontCount() const { return bringToFrontCount_; }
  Window* LastBroughtToFront() const { return lastBroughtToFront_; }
  const std::string& LastActivationToken() const { return lastActivationToken_; }
  // For tests: called when a modal run begins, with the dialog (shown, initialised); a test acts there as a
  // user would, e.g. by setting an edit box's text and posting a click.
  void SetModalHook(std::function<void(Window* dialog)> hook) { modalHook_ = std::move(hook); }

 private:
  int wakeFd_ = -1;
  std::map<int, std::function<void()>> watched_;
  bool menuBarsAvailable_ = true;
  Rect defaultRect_ = UiBackend::DefaultWindowRect();
  int bringToFrontCount_ = 0;
  Window* lastBroughtToFront_ = nullptr;
  std::string lastActivationToken_;
  std::function<void(Window*)> modalHook_;
};

}  // namespace srd
