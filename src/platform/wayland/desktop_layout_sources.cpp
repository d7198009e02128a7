// The desktops asked for the active layout, in order.

#include <cstdlib>
#include <cstring>

#include "platform/wayland/desktop_layout_source.h"
#include "platform/wayland/gnome_layout_source.h"
#include "platform/wayland/kde_layout_source.h"
#include "platform/wayland/sway_layout_source.h"

namespace srd {

std::vector<DesktopLayoutSourceFactory> DesktopLayoutSources() {
  return {
      // KDE Plasma's keyboard service answers only while Plasma runs.
      [](ActiveLayoutChanged onChange, int limitMs,
         std::string* whyNot) -> std::unique_ptr<DesktopLayoutSource> {
        return KdeLayoutSource::Start(SessionBusAddress(), std::move(onChange), limitMs, whyNot);
      },
      // GNOME's settings outlive a GNOME session on the same account: asked only in one.
      [](ActiveLayoutChanged onChange, int, std::string* whyNot) -> std::unique_ptr<DesktopLayoutSource> {
        const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
        if (desktop == nullptr || std::strstr(desktop, "GNOME") == nullptr) {
          *whyNot = "not a GNOME session";
          return nullptr;
        }
        return GnomeLayoutSource::Start(std::move(onChange), whyNot);
      },
      // sway names its IPC socket in the session's environment.
      [](ActiveLayoutChanged onChange, int limitMs,
         std::string* whyNot) -> std::unique_ptr<DesktopLayoutSource> {
        const char* socket = std::getenv("SWAYSOCK");
        return SwayLayoutSource::Start(socket != nullptr ? socket : "", std::move(onChange), limitMs, whyNot);
      },
  };
}

}  // namespace srd
