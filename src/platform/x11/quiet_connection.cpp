#include "platform/x11/quiet_connection.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace srd {

namespace {

std::mutex g_mutex;
std::vector<Display*> g_quiet;
XIOErrorHandler g_previous = nullptr;

int QuietHandler(Display* display) {
  {
    std::lock_guard lock(g_mutex);
    if (std::find(g_quiet.begin(), g_quiet.end(), display) != g_quiet.end()) {
      return 0;
    }
  }
  return g_previous != nullptr ? g_previous(display) : 0;
}

}  // namespace

void RegisterQuietConnection(Display* display) {
  static std::once_flag installed;
  std::call_once(installed, [] { g_previous = XSetIOErrorHandler(QuietHandler); });
  std::lock_guard lock(g_mutex);
  g_quiet.push_back(display);
}

void UnregisterQuietConnection(Display* display) {
  std::lock_guard lock(g_mutex);
  g_quiet.erase(std::remove(g_quiet.begin(), g_quiet.end(), display), g_quiet.end());
}

}  // namespace srd
