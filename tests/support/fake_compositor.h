#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/keymap_text.h"
#include "support/scoped_temp_dir.h"

struct wl_display;
struct wl_resource;
struct wl_client;
struct wl_event_source;

namespace srd::test {

// A Wayland compositor of the tests' own, as small as a seat's keymap needs: one wl_seat (version 7) whose
// keyboard comes and goes when the test says, and whose wl_keyboard hands out the keymap text given, in a
// file that may hold fewer bytes than the size the event states. It runs on a thread of its own; clients
// connect to SocketPath().
class FakeCompositor {
 public:
  FakeCompositor();
  ~FakeCompositor();
  FakeCompositor(const FakeCompositor&) = delete;
  FakeCompositor& operator=(const FakeCompositor&) = delete;

  const std::string& SocketPath() const { return path_; }
  // Gives the seat a keyboard with this keymap text (the seat tells every client); `statedSize` is the size
  // the keymap event says, 0: the text's own with its closing NUL.
  void AddKeyboard(const std::string& keymapText, std::uint32_t statedSize = 0);
  // Holds up the compositor's thread, as a compositor busy elsewhere: connections wait in the listener's
  // queue and nothing is answered until Resume().
  void Stall();
  void Resume();

 private:
  static void BindSeat(wl_client* client, void* self, std::uint32_t version, std::uint32_t id);
  static void GetKeyboard(wl_client* client, wl_resource* seat, std::uint32_t id);
  static void Unbind(wl_resource* resource);
  // Runs on the compositor's thread.
  void SendKeymap(wl_resource* keyboard);
  void ApplyPending();

  ScopedTempDir dir_{"srd-fake-compositor"};
  std::string path_;
  wl_display* display_ = nullptr;
  int wakeFd_ = -1;
  wl_event_source* wake_ = nullptr;
  std::mutex mutex_;
  std::condition_variable stallChanged_;
  bool stallAsked_ = false;
  bool stalled_ = false;
  bool pending_ = false;
  std::string pendingKeymap_;
  std::uint32_t pendingSize_ = 0;
  // The compositor thread's own.
  bool keyboard_ = false;
  std::string keymap_;
  std::uint32_t statedSize_ = 0;
  std::vector<wl_resource*> seats_;
  std::thread thread_;
};

}  // namespace srd::test
