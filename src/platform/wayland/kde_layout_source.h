#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/wayland/desktop_layout_source.h"

struct DBusConnection;
struct DBusMessage;

namespace srd {

// KDE Plasma's active layout: the index into its layout list, which is the order of the compositor keymap's
// groups, from the keyboard service on the session bus (getLayout), followed by its layoutChanged signal.
class KdeLayoutSource final : public DesktopLayoutSource {
 public:
  // The session bus from `busAddress`; nullptr with *whyNot set when there is none, or no keyboard service on
  // it answers within limitMs.
  static std::unique_ptr<KdeLayoutSource> Start(const std::string& busAddress, ActiveLayoutChanged onChange,
                                                int limitMs, std::string* whyNot);
  ~KdeLayoutSource() override;
  KdeLayoutSource(const KdeLayoutSource&) = delete;
  KdeLayoutSource& operator=(const KdeLayoutSource&) = delete;

 private:
  KdeLayoutSource(DBusConnection* connection, int wakeFd, ActiveLayoutChanged onChange);
  void Run();
  void Report(std::uint32_t index);
  // Whether a message is the keyboard service's layoutChanged: from the bus name's owner, on its path.
  bool FromService(DBusMessage* message);

  DBusConnection* connection_;
  int wakeFd_;  // an eventfd: written to stop the thread
  ActiveLayoutChanged onChange_;
  std::string owner_;  // the unique bus name that owns the keyboard service
  std::thread thread_;
};

// Why the source gave up when the bus itself did not answer in time (rather than having no keyboard
// service on it).
inline constexpr char kKdeBusSilent[] = "the session bus does not answer";

// The session bus's address: $DBUS_SESSION_BUS_ADDRESS, else the bus socket in $XDG_RUNTIME_DIR if there is
// one; empty when neither (never a bus started on demand).
std::string SessionBusAddress();

}  // namespace srd
