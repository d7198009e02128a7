#include "platform/choice/key_backend_choice.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/choice/receiver_layout_choice.h"
#include "platform/keys/none_key_backend.h"
#include "platform/keys/uinput_key_backend.h"
#include "platform/sys/loadable_module.h"
#include "platform/wayland/wayland_module.h"
#include "platform/x11/xtest_module.h"

namespace srd {

namespace {

// The XTest backend from its module, which brings the X libraries with it.
std::unique_ptr<TranslatingKeyBackend> CreateXTestKeyBackend(const XTestOptions& options,
                                                             std::string* whyNot) {
  const auto entry = LoadModuleEntry<XTestModuleEntry>(kXTestModuleFile, kXTestModuleEntryName, whyNot);
  return std::unique_ptr<TranslatingKeyBackend>(
      entry != nullptr ? entry(kXTestModuleVersion, &options, whyNot) : nullptr);
}

// The X server's repeat of the virtual keyboard turned off through the same module; nullptr with *whyNot set.
std::unique_ptr<RepeatSuppression> SuppressXRepeat(const char* displayName, std::string* whyNot) {
  const auto entry =
      LoadModuleEntry<XRepeatSuppressionEntry>(kXTestModuleFile, kXRepeatSuppressionEntryName, whyNot);
  return std::unique_ptr<RepeatSuppression>(
      entry != nullptr ? entry(kXTestModuleVersion, displayName, kUinputDeviceName, whyNot) : nullptr);
}

// A killed run that injected through XTest may have left keys held and the repeat off on this display; a run
// that injects through uinput puts that right through the module too (loaded on X for the repeat anyway).
void PutRightThroughModule(const char* displayName, const std::string& recordDirectory) {
  if (recordDirectory.empty()) {
    return;
  }
  std::string whyNot;
  if (const auto entry = LoadModuleEntry<XPutRightEntry>(kXTestModuleFile, kXPutRightEntryName, &whyNot)) {
    entry(kXTestModuleVersion, displayName, recordDirectory.c_str());
  }
}

// A desktop's own way of typing into the Wayland session, from the Wayland module; nullptr with *whyNot set.
std::unique_ptr<TranslatingKeyBackend> CreateWaylandKeyBackend(WaylandKeyRoute route,
                                                               const char* waylandDisplay,
                                                               std::string* whyNot) {
  const auto entry =
      LoadModuleEntry<WaylandKeyBackendEntry>(kWaylandModuleFile, kWaylandKeyBackendEntryName, whyNot);
  const std::string displayName = waylandDisplay;
  return std::unique_ptr<TranslatingKeyBackend>(
      entry != nullptr ? entry(kWaylandModuleVersion, route, &displayName, whyNot) : nullptr);
}

// How the start-up line names a route: with the desktop it belongs to, where the session says which.
std::string RouteText(WaylandKeyRoute route) {
  if (route == WaylandKeyRoute::kRemoteDesktop) {
    return "mutter's remote desktop (GNOME)";
  }
  std::string desktop;
  if (const char* sway = std::getenv("SWAYSOCK"); sway != nullptr && *sway != '\0') {
    desktop = "sway";
  } else if (const char* current = std::getenv("XDG_CURRENT_DESKTOP");
             current != nullptr && *current != '\0') {
    desktop = std::string(current).substr(0, std::string(current).find(':'));
  }
  return "the compositor's virtual keyboard" + (desktop.empty() ? "" : " (" + desktop + ")");
}

// "a, b and c".
std::string Enumeration(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  }
  return text;
}

}  // namespace

std::unique_ptr<KeyBackend> ChooseKeyBackend(const std::string& recordDirectory) {
  return ChooseKeyBackendFrom(kUinputPath, std::getenv("DISPLAY"), stderr, recordDirectory,
                              WaylandSessionDisplay());
}

// Standard error stays quiet when keys can be injected: it carries the receiver's diagnostic lines, and the
// chosen backend is no news to a user whose keys arrive. Only the case where nothing can arrive is told, and
// the rare one where a lost release could make a key run on.
std::unique_ptr<KeyBackend> ChooseKeyBackendFrom(const char* uinputPath, const char* displayName,
                                                 std::FILE* complaints, const std::string& recordDirectory,
                                                 const char* waylandDisplay) {
  // Either sink types the key that the receiver's layout gives each code: in a Wayland session the
  // compositor's keymap rules, on X the display's layout (uinput keyboards get the same keymap there),
  // elsewhere the system's keyboard configuration.
  std::string uinputWhyNot;
  const bool hasDisplay = displayName != nullptr && *displayName != '\0';
  if (auto uinput = UinputKeyBackend::Create(MakeSystemUinputKernel(), uinputPath, &uinputWhyNot)) {
    uinput->FollowLayout(StartReceiverLayout(displayName, waylandDisplay, complaints));
    if (hasDisplay) {
      PutRightThroughModule(displayName, recordDirectory);
      std::string whyNot;
      if (auto suppression = SuppressXRepeat(displayName, &whyNot)) {
        uinput->KeepRepeatSuppression(std::move(suppression));
      } else {
        std::fprintf(complaints,
                     "strokerelayd: the X server may auto-repeat keys whose release was lost: %s.\n",
                     whyNot.c_str());
        std::fflush(complaints);
      }
    }
    return uinput;
  }
  std::vector<std::string> tried = {uinputWhyNot};
  // In a Wayland session the desktop's own way of typing reaches every window, with no set-up and no root.
  const bool waylandSession = waylandDisplay != nullptr && *waylandDisplay != '\0';
  if (waylandSession) {
    for (const WaylandKeyRoute route : {WaylandKeyRoute::kVirtualKeyboard, WaylandKeyRoute::kRemoteDesktop}) {
      std::string whyNot;
      if (auto desktop = CreateWaylandKeyBackend(route, waylandDisplay, &whyNot)) {
        desktop->FollowLayout(StartReceiverLayout(displayName, waylandDisplay, complaints, RouteText(route)));
        return desktop;
      }
      tried.push_back(whyNot);
    }
  }
  std::string xWhyNot = "DISPLAY is not set";
  if (hasDisplay) {
    XTestOptions options;
    options.displayName = displayName;
    options.waylandSession = waylandDisplay != nullptr && *waylandDisplay != '\0';
    options.recordDirectory = recordDirectory;
    if (auto xtest = CreateXTestKeyBackend(options, &xWhyNot)) {
      xtest->FollowLayout(StartReceiverLayout(displayName, waylandDisplay, complaints));
      if (waylandSession) {
        std::fprintf(complaints,
                     "strokerelayd: keys reach X11 windows only: in this Wayland session XTest types into "
                     "XWayland; for every window give strokerelayd /dev/uinput as the README's Permissions "
                     "section describes.\n");
        std::fflush(complaints);
      }
      return xtest;
    }
  }
  tried.push_back(xWhyNot);
  // An X11 session is advice only where there was none: with a display, what failed there is said instead.
  std::fprintf(complaints,
               "strokerelayd: no keys can be injected: %s; install the udev rule and load the uinput module "
               "as the README's Permissions section describes%s.\n",
               Enumeration(tried).c_str(), hasDisplay ? "" : ", or run strokerelayd in an X11 session");
  std::fflush(complaints);
  return std::make_unique<NoneKeyBackend>();
}

}  // namespace srd
