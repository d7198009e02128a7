#pragma once

#include <memory>
#include <string>
#include <thread>

#include "platform/wayland/desktop_layout_source.h"

struct DBusConnection;

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
  void Report(unsigned index);

  DBusConnection* connection_;
  int wakeFd_;  // an eventfd: written to stop the thread
  ActiveLayoutChanged onChange_;
  std::thread thread_;
};

// The session bus's address: $DBUS_SESSION_BUS_ADDRESS, else the bus socket in $XDG_RUNTIME_DIR if there is
// one; empty when neither (never a bus started on demand).
std::string SessionBusAddress();

}  // namespace srd
