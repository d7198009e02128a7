// A stand-in for KDE Plasma's keyboard service on a test's private session bus: owns org.kde.keyboard and
// answers getLayout and setLayout on /Layouts as Plasma does, announcing each switch with layoutChanged.
// Usage: kde_keyboard_standin INITIAL_INDEX (the bus from DBUS_SESSION_BUS_ADDRESS).

#include <dbus/dbus.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kInterface[] = "org.kde.KeyboardLayouts";

void Answer(DBusConnection* connection, DBusMessage* call, int type, const void* value) {
  DBusMessage* reply = dbus_message_new_method_return(call);
  dbus_message_append_args(reply, type, value, DBUS_TYPE_INVALID);
  dbus_connection_send(connection, reply, nullptr);
  dbus_message_unref(reply);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t layout = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 0;
  DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
  if (connection == nullptr ||
      dbus_bus_request_name(connection, "org.kde.keyboard", DBUS_NAME_FLAG_DO_NOT_QUEUE, nullptr) !=
          DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
    return 1;
  }
  while (dbus_connection_read_write(connection, -1)) {
    while (DBusMessage* message = dbus_connection_pop_message(connection)) {
      if (dbus_message_is_method_call(message, kInterface, "getLayout")) {
        Answer(connection, message, DBUS_TYPE_UINT32, &layout);
      } else if (dbus_message_is_method_call(message, kInterface, "setLayout") &&
                 dbus_message_get_args(message, nullptr, DBUS_TYPE_UINT32, &layout, DBUS_TYPE_INVALID)) {
        const dbus_bool_t done = TRUE;
        Answer(connection, message, DBUS_TYPE_BOOLEAN, &done);
        DBusMessage* signal = dbus_message_new_signal("/Layouts", kInterface, "layoutChanged");
        dbus_message_append_args(signal, DBUS_TYPE_UINT32, &layout, DBUS_TYPE_INVALID);
        dbus_connection_send(connection, signal, nullptr);
        dbus_message_unref(signal);
      }
      dbus_message_unref(message);
      dbus_connection_flush(connection);
    }
  }
  return 0;
}
