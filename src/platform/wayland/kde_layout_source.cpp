#include "platform/wayland/kde_layout_source.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace srd {

namespace {

constexpr char kService[] = "org.kde.keyboard";
constexpr char kPath[] = "/Layouts";
constexpr char kInterface[] = "org.kde.KeyboardLayouts";
constexpr char kWhere[] = "KDE Plasma layout";

// Calls a method and waits at most limitMs for its reply; nullptr when none came or it was an error.
DBusMessage* Call(DBusConnection* connection, DBusMessage* call, int limitMs) {
  if (call == nullptr) {
    return nullptr;
  }
  DBusError error;
  dbus_error_init(&error);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, call, limitMs, &error);
  dbus_message_unref(call);
  dbus_error_free(&error);
  return reply;
}

// Joins the bus as dbus_bus_register does, but within limitMs: a bus that does not answer must not hold up
// start-up.
bool Register(DBusConnection* connection, int limitMs) {
  DBusMessage* reply = Call(
      connection,
      dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"), limitMs);
  const char* name = nullptr;
  const bool registered = reply != nullptr &&
                          dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) &&
                          dbus_bus_set_unique_name(connection, name);
  if (reply != nullptr) {
    dbus_message_unref(reply);
  }
  return registered;
}

}  // namespace

std::string SessionBusAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0') {
    // The program's own "no bus here" (see DoWithoutSessionBusWhereThereIsNone) is no address.
    return std::string_view(address) == "disabled:" ? std::string() : std::string(address);
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') {
    return {};
  }
  const std::string socket = std::string(runtime) + "/bus";
  return access(socket.c_str(), F_OK) == 0 ? "unix:path=" + socket : std::string();
}

std::unique_ptr<KdeLayoutSource> KdeLayoutSource::Start(const std::string& busAddress,
                                                        ActiveLayoutChanged onChange, int limitMs,
                                                        std::string* whyNot) {
  if (busAddress.empty()) {
    *whyNot = "no session bus";
    return nullptr;
  }
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* connection = dbus_connection_open_private(busAddress.c_str(), &error);
  dbus_error_free(&error);
  if (connection == nullptr) {
    *whyNot = "the session bus does not answer";
    return nullptr;
  }
  dbus_connection_set_exit_on_disconnect(connection, FALSE);
  std::unique_ptr<KdeLayoutSource> source(
      new KdeLayoutSource(connection, eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), std::move(onChange)));
  if (source->wakeFd_ < 0 || !Register(connection, limitMs)) {
    *whyNot = "the session bus does not answer";
    return nullptr;
  }
  // Signals from the moment the layout is read: a switch in between is not lost.
  const std::string rule = std::string("type='signal',sender='") + kService + "',path='" + kPath +
                           "',interface='" + kInterface + "',member='layoutChanged'";
  dbus_bus_add_match(connection, rule.c_str(), nullptr);
  // Asked only of a running Plasma: a desktop that merely has KDE programs installed must not start its
  // keyboard service by being asked.
  DBusMessage* getLayout = dbus_message_new_method_call(kService, kPath, kInterface, "getLayout");
  if (getLayout != nullptr) {
    dbus_message_set_auto_start(getLayout, FALSE);
  }
  DBusMessage* reply = Call(connection, getLayout, limitMs);
  std::uint32_t index = 0;
  const bool answered =
      reply != nullptr && dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &index, DBUS_TYPE_INVALID);
  if (reply != nullptr) {
    dbus_message_unref(reply);
  }
  if (!answered) {
    *whyNot = "no KDE Plasma keyboard service on the session bus";
    return nullptr;
  }
  source->Report(index);
  source->thread_ = std::thread([s = source.get()] { s->Run(); });
  return source;
}

KdeLayoutSource::KdeLayoutSource(DBusConnection* connection, int wakeFd, ActiveLayoutChanged onChange)
    : connection_(connection), wakeFd_(wakeFd), onChange_(std::move(onChange)) {}

KdeLayoutSource::~KdeLayoutSource() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // An eventfd write fails only when its counter is full, and then the thread is being woken anyway.
    }
    thread_.join();
  }
  dbus_connection_close(connection_);
  dbus_connection_unref(connection_);
  if (wakeFd_ >= 0) {
    close(wakeFd_);
  }
}

void KdeLayoutSource::Report(unsigned index) {
  ActiveLayout active;
  active.index = static_cast<int>(index);
  active.where = kWhere;
  onChange_(active);
}

void KdeLayoutSource::Run() {
  int fd = -1;
  if (!dbus_connection_get_unix_fd(connection_, &fd)) {
    return;
  }
  for (;;) {
    // Messages read along with earlier replies wait in the connection's queue, not on the socket.
    while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
      std::uint32_t index = 0;
      if (dbus_message_is_signal(message, kInterface, "layoutChanged") &&
          dbus_message_get_args(message, nullptr, DBUS_TYPE_UINT32, &index, DBUS_TYPE_INVALID)) {
        Report(index);
      }
      dbus_message_unref(message);
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      continue;
    }
    if ((fds[1].revents & POLLIN) != 0 || (fds[0].revents & (POLLHUP | POLLERR)) != 0 ||
        !dbus_connection_read_write(connection_, 0)) {
      return;  // stopped, or the bus went away: the last layout holds
    }
  }
}

}  // namespace srd
