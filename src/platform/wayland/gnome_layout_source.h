#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/wayland/desktop_layout_source.h"

using GSettings = struct _GSettings;
using GMainContext = struct _GMainContext;
using GMainLoop = struct _GMainLoop;

namespace srd {

// GNOME's active input source: GSettings org.gnome.desktop.input-sources, whose mru-sources lists the current
// source first (the shell rewrites it on each switch), else the first of its sources; followed through
// GSettings' change signal on a main loop of the source's own thread.
class GnomeLayoutSource final : public DesktopLayoutSource {
 public:
  // nullptr with *whyNot set when the settings' schema is not installed, or no source is an XKB layout.
  static std::unique_ptr<GnomeLayoutSource> Start(ActiveLayoutChanged onChange, std::string* whyNot);
  ~GnomeLayoutSource() override;
  GnomeLayoutSource(const GnomeLayoutSource&) = delete;
  GnomeLayoutSource& operator=(const GnomeLayoutSource&) = delete;

 private:
  GnomeLayoutSource(ActiveLayoutChanged onChange) : onChange_(std::move(onChange)) {}
  // Reports the current source if it is news; false when no source is an XKB layout.
  bool Read();
  static void OnChanged(GSettings* settings, const char* key, void* self);

  ActiveLayoutChanged onChange_;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GSettings* settings_ = nullptr;
  std::string said_;  // the source last reported
  std::thread thread_;
};

// A GNOME XKB input source's id ("de", "de+nodeadkeys") as a layout name; nullopt for an id that is no
// layout name (a path, say), which must never reach XKB's file look-up.
std::optional<LayoutName> LayoutOfGnomeSource(const std::string& id);

}  // namespace srd
