#include "platform/wayland/remote_desktop_key_backend.h"

#include <dbus/dbus.h>

namespace srd {

namespace {

constexpr char kService[] = "org.gnome.Mutter.RemoteDesktop";
constexpr char kPath[] = "/org/gnome/Mutter/RemoteDesktop";
constexpr char kSessionInterface[] = "org.gnome.Mutter.RemoteDesktop.Session";

// Mutter answers at once when it answers at all; neither start-up nor a key waits longer on it.
constexpr int kCallLimitMs = 1000;
// After the session was lost, a key tries to make one again no sooner than this.
constexpr auto kReopenInterval = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

// Calls a method and waits at most limitMs for its reply; nullptr when none came or it was an error (then
// *error, if given, says which).
DBusMessage* Call(DBusConnection* connection, DBusMessage* call, int limitMs, std::string* error = nullptr) {
  if (call == nullptr) {
    return nullptr;
  }
  dbus_message_set_auto_start(call, FALSE);
  DBusError failure;
  dbus_error_init(&failure);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, call, limitMs, &failure);
  if (reply == nullptr && error != nullptr && failure.name != nullptr) {
    *error = failure.name;
  }
  dbus_message_unref(call);
  dbus_error_free(&failure);
  return reply;
}

// A method of the session that takes nothing and answers nothing; false when it failed.
bool CallSession(DBusConnection* connection, const std::string& session, const char* method, int limitMs) {
  DBusMessage* reply =
      Call(connection, dbus_message_new_method_call(kService, session.c_str(), kSessionInterface, method),
           limitMs);
  if (reply != nullptr) {
    dbus_message_unref(reply);
  }
  return reply != nullptr;
}

}  // namespace

std::unique_ptr<RemoteDesktopKeyBackend> RemoteDesktopKeyBackend::Create(const std::string& busAddress,
                                                                         std::string* whyNot) {
  if (busAddress.empty()) {
    *whyNot = "there is no session bus";
    return nullptr;
  }
  std::unique_ptr<RemoteDesktopKeyBackend> backend(new RemoteDesktopKeyBackend(busAddress));
  if (!backend->Open(kCallLimitMs, whyNot)) {
    return nullptr;
  }
  return backend;
}

RemoteDesktopKeyBackend::~RemoteDesktopKeyBackend() {
  ending_ = true;
  ReleaseAll();
  StopSession();
  Close();
}

bool RemoteDesktopKeyBackend::Open(int limitMs, std::string* whyNot) {
  lastOpen_ = Clock::now();
  DBusError error;
  dbus_error_init(&error);
  connection_ = dbus_connection_open_private(busAddress_.c_str(), &error);
  dbus_error_free(&error);
  if (connection_ == nullptr) {
    *whyNot = "the session bus does not answer";
    return false;
  }
  dbus_connection_set_exit_on_disconnect(connection_, FALSE);
  // The bus's library would wait without end for a bus that never completes the authentication: it is
  // driven here, each round within what is left of limitMs.
  const auto deadline = lastOpen_ + std::chrono::milliseconds(limitMs);
  while (!dbus_connection_get_is_authenticated(connection_)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !dbus_connection_read_write(connection_, static_cast<int>(left))) {
      *whyNot = "the session bus does not answer";
      Close();
      return false;
    }
  }
  // Joins the bus as dbus_bus_register does, but within limitMs.
  DBusMessage* hello = Call(
      connection_,
      dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"), limitMs);
  const char* name = nullptr;
  const bool registered = hello != nullptr &&
                          dbus_message_get_args(hello, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) &&
                          dbus_bus_set_unique_name(connection_, name);
  if (hello != nullptr) {
    dbus_message_unref(hello);
  }
  if (!registered) {
    *whyNot = "the session bus does not answer";
    Close();
    return false;
  }
  std::string refused;
  DBusMessage* created =
      Call(connection_, dbus_message_new_method_call(kService, kPath, kService, "CreateSession"), limitMs,
           &refused);
  const char* path = nullptr;
  if (created != nullptr &&
      dbus_message_get_args(created, nullptr, DBUS_TYPE_OBJECT_PATH, &path, DBUS_TYPE_INVALID)) {
    session_ = path;
  }
  if (created != nullptr) {
    dbus_message_unref(created);
  }
  if (session_.empty()) {
    *whyNot = refused == DBUS_ERROR_SERVICE_UNKNOWN || refused == DBUS_ERROR_NAME_HAS_NO_OWNER
                  ? "mutter's remote desktop is not on the session bus"
                  : "mutter's remote desktop made no session" + (refused.empty() ? "" : " (" + refused + ")");
    Close();
    return false;
  }
  // Mutter says so when it ends the session itself (the user stopped it, or the screen was locked).
  const std::string rule = "type='signal',sender='" + std::string(kService) + "',path='" + session_ +
                           "',interface='" + kSessionInterface + "',member='Closed'";
  dbus_bus_add_match(connection_, rule.c_str(), nullptr);
  // And the bus says so when mutter itself goes.
  const std::string owner = "type='signal',sender='" DBUS_SERVICE_DBUS "',interface='" DBUS_INTERFACE_DBUS
                            "',member='NameOwnerChanged',arg0='" +
                            std::string(kService) + "'";
  dbus_bus_add_match(connection_, owner.c_str(), nullptr);
  if (!CallSession(connection_, session_, "Start", limitMs)) {
    *whyNot = "mutter's remote desktop did not start its session";
    Close();
    return false;
  }
  lost_ = false;
  return true;
}

void RemoteDesktopKeyBackend::StopSession() {
  if (connection_ != nullptr && !session_.empty() && !lost_) {
    // Waited for, briefly: the releases sent before it are then typed, and mutter forgets the keyboard.
    CallSession(connection_, session_, "Stop", kCallLimitMs / 2);
  }
  session_.clear();
}

void RemoteDesktopKeyBackend::Close() {
  if (connection_ != nullptr) {
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
    connection_ = nullptr;
  }
  session_.clear();
}

bool RemoteDesktopKeyBackend::EmitKey(std::uint16_t code, bool down) {
  if (connection_ != nullptr && (lost_ || !dbus_connection_get_is_connected(connection_))) {
    // The keys this session held went with it.
    StopSession();
    Close();
    ForgetHeldKeysLocked();
  }
  if (connection_ == nullptr) {
    std::string ignored;
    if (ending_ || Clock::now() - lastOpen_ < kReopenInterval || !Open(kCallLimitMs, &ignored)) {
      return false;
    }
  }
  DBusMessage* call =
      dbus_message_new_method_call(kService, session_.c_str(), kSessionInterface, "NotifyKeyboardKeycode");
  if (call == nullptr) {
    return false;
  }
  const dbus_uint32_t keycode = code;
  const dbus_bool_t pressed = down ? TRUE : FALSE;
  dbus_message_append_args(call, DBUS_TYPE_UINT32, &keycode, DBUS_TYPE_BOOLEAN, &pressed, DBUS_TYPE_INVALID);
  dbus_message_set_auto_start(call, FALSE);
  // Queued without waiting for mutter, and answered by none: the bus would hold each answer awaited (and
  // refuses more than so many). A session that went is told by its Closed signal, a mutter that went by the
  // bus.
  dbus_message_set_no_reply(call, TRUE);
  const bool queued = dbus_connection_send(connection_, call, nullptr);
  dbus_message_unref(call);
  return queued;
}

void RemoteDesktopKeyBackend::Flush() {
  if (connection_ == nullptr) {
    return;
  }
  // Writes the datagram's calls, waiting while mutter takes them, as a keyboard's events wait for the
  // compositor to read them, but no longer than a mutter that answers at all needs: one that does not read
  // for that long has stopped, and its session counts as lost.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kCallLimitMs);
  while (!lost_ && dbus_connection_has_messages_to_send(connection_)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !dbus_connection_read_write(connection_, static_cast<int>(left))) {
      lost_ = true;
    }
  }
  // What mutter and the bus said meanwhile, read without waiting.
  if (!lost_ && !dbus_connection_read_write(connection_, 0)) {
    lost_ = true;
  }
  TakeIncoming();
}

void RemoteDesktopKeyBackend::TakeIncoming() {
  while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
    if (dbus_message_is_signal(message, kSessionInterface, "Closed") ||
        dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged") ||
        dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
      lost_ = true;
    }
    dbus_message_unref(message);
  }
}

}  // namespace srd
