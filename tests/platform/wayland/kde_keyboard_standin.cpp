// A stand-in for KDE Plasma's keyboard service on a test's private session bus: owns org.kde.keyboard and
// answers getLayout and setLayout on /Layouts as Plasma does, announcing each switch with layoutChanged.
// Usage: kde_keyboard_standin INITIAL_INDEX (the bus from DBUS_SESSION_BUS_ADDRESS).
//        kde_keyboard_standin spoof INDEX: a peer that is not the service sends layoutChanged(INDEX) to
//        everyone on the bus, to each other peer alone, and on another path, then exits.

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

void SendLayoutChanged(DBusConnection* connection, const char* path, const char* destination,
                       std::uint32_t layout) {
  DBusMessage* signal = dbus_message_new_signal(path, kInterface, "layoutChanged");
  if (destination != nullptr) {
    dbus_message_set_destination(signal, destination);
  }
  dbus_message_append_args(signal, DBUS_TYPE_UINT32, &layout, DBUS_TYPE_INVALID);
  dbus_connection_send(connection, signal, nullptr);
  dbus_message_unref(signal);
}

int Spoof(std::uint32_t layout) {
  DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
  if (connection == nullptr) {
    return 1;
  }
  SendLayoutChanged(connection, "/Layouts", nullptr, layout);
  SendLayoutChanged(connection, "/Other", nullptr, layout);
  DBusMessage* list = dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                   "org.freedesktop.DBus", "ListNames");
  DBusMessage* names = dbus_connection_send_with_reply_and_block(connection, list, 5000, nullptr);
  dbus_message_unref(list);
  char** each = nullptr;
  int count = 0;
  if (names != nullptr && dbus_message_get_args(names, nullptr, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING, &each,
                                                &count, DBUS_TYPE_INVALID)) {
    for (int i = 0; i < count; ++i) {
      if (each[i][0] == ':' && std::strcmp(each[i], dbus_bus_get_unique_name(connection)) != 0) {
        SendLayoutChanged(connection, "/Layouts", each[i], layout);
      }
    }
    dbus_free_string_array(each);
  }
  if (names != nullptr) {
    dbus_message_unref(names);
  }
  dbus_connection_flush(connection);
  dbus_connection_close(connection);
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "spoof") == 0) {
    return Spoof(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)));
  }
  std::uint32_t layout = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 0;
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
