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
         DesktopMiss* miss) -> std::unique_ptr<DesktopLayoutSource> {
        auto source = KdeLayoutSource::Start(SessionBusAddress(), std::move(onChange), limitMs, &miss->why);
        // A bus that is there but slow may yet answer; a bus without the service is another desktop's.
        miss->askAgain = source == nullptr && miss->why == kKdeBusSilent;
        return source;
      },
      // GNOME's settings outlive a GNOME session on the same account: asked only in one.
      [](ActiveLayoutChanged onChange, int, DesktopMiss* miss) -> std::unique_ptr<DesktopLayoutSource> {
        const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
        if (desktop == nullptr || std::strstr(desktop, "GNOME") == nullptr) {
          miss->why = "not a GNOME session";
          return nullptr;
        }
        return GnomeLayoutSource::Start(std::move(onChange), &miss->why);
      },
      // sway names its IPC socket in the session's environment.
      // Its socket named, sway is there: while it is busy (adding a keyboard) it is asked again.
      [](ActiveLayoutChanged onChange, int limitMs,
         DesktopMiss* miss) -> std::unique_ptr<DesktopLayoutSource> {
        const char* socket = std::getenv("SWAYSOCK");
        auto source = SwayLayoutSource::Start(socket != nullptr ? socket : "", std::move(onChange), limitMs,
                                              &miss->why);
        miss->askAgain = source == nullptr && socket != nullptr && *socket != '\0';
        return source;
      },
  };
}

}  // namespace srd
