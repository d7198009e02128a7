#include "platform/keys/x_quiet_connection.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace srd {

namespace {

std::mutex g_ownDisplaysMutex;
std::vector<Display*> g_ownDisplays;
XIOErrorHandler g_previousIOErrorHandler = nullptr;

int QuietIOErrorHandler(Display* display) {
  {
    std::lock_guard lock(g_ownDisplaysMutex);
    if (std::find(g_ownDisplays.begin(), g_ownDisplays.end(), display) != g_ownDisplays.end()) {
      return 0;
    }
  }
  return g_previousIOErrorHandler != nullptr ? g_previousIOErrorHandler(display) : 0;
}

}  // namespace

void RegisterOwnDisplay(Display* display) {
  static std::once_flag installed;
  std::call_once(installed, [] { g_previousIOErrorHandler = XSetIOErrorHandler(QuietIOErrorHandler); });
  std::lock_guard lock(g_ownDisplaysMutex);
  g_ownDisplays.push_back(display);
}

void UnregisterOwnDisplay(Display* display) {
  std::lock_guard lock(g_ownDisplaysMutex);
  g_ownDisplays.erase(std::remove(g_ownDisplays.begin(), g_ownDisplays.end(), display), g_ownDisplays.end());
}

}  // namespace srd
