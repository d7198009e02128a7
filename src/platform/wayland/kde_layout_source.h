#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/wayland/desktop_layout_source.h"

using GDBusConnection = struct _GDBusConnection;
using GMainContext = struct _GMainContext;
using GMainLoop = struct _GMainLoop;
using GVariant = struct _GVariant;

namespace srd {

// KDE Plasma's active layout: the index into its layout list, which is the order of the compositor keymap's
// groups, from the keyboard service on the session bus (getLayout), followed by its layoutChanged signal on
// a main loop of the source's own thread. Only the service's owner is believed: any peer on the bus can send
// a signal to anyone.
class KdeLayoutSource final : public DesktopLayoutSource {
 public:
  // The session bus from `busAddress`; nullptr with *whyNot set when there is none, or no keyboard service on
  // it answers within limitMs (connecting, authenticating and every request together).
  static std::unique_ptr<KdeLayoutSource> Start(const std::string& busAddress, ActiveLayoutChanged onChange,
                                                int limitMs, std::string* whyNot);
  ~KdeLayoutSource() override;
  KdeLayoutSource(const KdeLayoutSource&) = delete;
  KdeLayoutSource& operator=(const KdeLayoutSource&) = delete;

 private:
  explicit KdeLayoutSource(ActiveLayoutChanged onChange) : onChange_(std::move(onChange)) {}
  // Follows layoutChanged from `owner` (a unique bus name) only; none while empty.
  void Follow(const std::string& owner);
  static void OnSignal(GDBusConnection*, const char* sender, const char* path, const char* interface,
                       const char* member, GVariant* parameters, void* self);

  ActiveLayoutChanged onChange_;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;
  std::string owner_;  // the unique bus name that owns the keyboard service
  unsigned layoutSubscription_ = 0;
  unsigned ownerSubscription_ = 0;
  std::thread thread_;
};

// Why the source gave up when the bus itself did not answer in time (rather than having no keyboard
// service on it).
inline constexpr char kKdeBusSilent[] = "the session bus does not answer";

// The session bus's address: $DBUS_SESSION_BUS_ADDRESS, else the bus socket in $XDG_RUNTIME_DIR if there is
// one; empty when neither (never a bus started on demand).
std::string SessionBusAddress();

}  // namespace srd
