#include "platform/wayland/kde_layout_source.h"

#include <gio/gio.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/wayland/deadline.h"

namespace srd {

namespace {

constexpr char kService[] = "org.kde.keyboard";
constexpr char kPath[] = "/Layouts";
constexpr char kInterface[] = "org.kde.KeyboardLayouts";
constexpr char kWhere[] = "KDE Plasma layout";

// One asynchronous step on the start's own main context, waited for by a deadline: the bus's library does
// the connecting, authenticating and calling on its own worker, and everything it does is cancellable, so a
// bus that is frozen or answers a byte at a time holds no one up past the deadline.
class Step {
 public:
  explicit Step(GMainContext* context) : context_(context), cancellable_(g_cancellable_new()) {}
  ~Step() { g_object_unref(cancellable_); }
  Step(const Step&) = delete;
  Step& operator=(const Step&) = delete;

  GCancellable* Cancellable() const { return cancellable_; }
  // The callback for the library: it keeps the result for Wait. The step outlives the call because Wait
  // returns only once the callback ran.
  static void Done(GObject*, GAsyncResult* result, void* step) {
    auto* self = static_cast<Step*>(step);
    self->result_ = G_ASYNC_RESULT(g_object_ref(result));
  }
  // The result, by the deadline; nullptr when it did not come (the step is then cancelled and its end
  // awaited, which cancelling makes prompt).
  GAsyncResult* Wait(const Deadline& deadline) {
    while (result_ == nullptr && !deadline.Over()) {
      Iterate(deadline.LeftMs());
    }
    if (result_ == nullptr) {
      g_cancellable_cancel(cancellable_);
      while (result_ == nullptr) {
        g_main_context_iteration(context_, TRUE);
      }
      g_object_unref(result_);
      result_ = nullptr;
      return nullptr;
    }
    return result_;
  }
  void Release() {
    if (result_ != nullptr) {
      g_object_unref(result_);
      result_ = nullptr;
    }
  }

 private:
  // One round of the context, waiting at most limitMs for something to do.
  void Iterate(int limitMs) {
    GSource* timer = g_timeout_source_new(static_cast<guint>(limitMs));
    g_source_set_callback(
        timer, [](void*) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timer, context_);
    g_main_context_iteration(context_, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
  }

  GMainContext* context_;
  GCancellable* cancellable_;
  GAsyncResult* result_ = nullptr;
};

// A call to the bus within the deadline; the reply's body, or nullptr.
GVariant* Call(GDBusConnection* connection, GMainContext* context, const Deadline& deadline,
               const char* destination, const char* path, const char* interface, const char* method,
               GVariant* parameters, const char* replyType) {
  Step step(context);
  g_dbus_connection_call(connection, destination, path, interface, method, parameters,
                         G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                         std::max(deadline.LeftMs(), 1), step.Cancellable(), &Step::Done, &step);
  GAsyncResult* result = step.Wait(deadline);
  GVariant* reply = result != nullptr ? g_dbus_connection_call_finish(connection, result, nullptr) : nullptr;
  step.Release();
  return reply;
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
  // One limit for the whole exchange, however many requests it takes.
  const Deadline deadline(limitMs);
  std::unique_ptr<KdeLayoutSource> source(new KdeLayoutSource(std::move(onChange)));
  source->context_ = g_main_context_new();
  source->loop_ = g_main_loop_new(source->context_, FALSE);
  // The connection's signals come on the main context that is the thread's default when they are
  // subscribed: the source's own, which its thread runs.
  g_main_context_push_thread_default(source->context_);
  struct PopContext {
    GMainContext* context;
    ~PopContext() { g_main_context_pop_thread_default(context); }
  } pop{source->context_};

  {
    Step step(source->context_);
    g_dbus_connection_new_for_address(
        busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, step.Cancellable(), &Step::Done, &step);
    GAsyncResult* result = step.Wait(deadline);
    source->connection_ =
        result != nullptr ? g_dbus_connection_new_for_address_finish(result, nullptr) : nullptr;
    step.Release();
  }
  if (source->connection_ == nullptr) {
    *whyNot = kKdeBusSilent;
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(source->connection_, FALSE);
  // Told of each new owner of the service (a Plasma started again) from then on.
  source->ownerSubscription_ = g_dbus_connection_signal_subscribe(
      source->connection_, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
      "/org/freedesktop/DBus", kService, G_DBUS_SIGNAL_FLAGS_NONE, &KdeLayoutSource::OnSignal, source.get(),
      nullptr);
  GVariant* owner =
      Call(source->connection_, source->context_, deadline, "org.freedesktop.DBus", "/org/freedesktop/DBus",
           "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", kService), "(s)");
  if (owner == nullptr) {
    // A bus that answered no question in time is silent; one that said the name has no owner has no
    // Plasma on it.
    *whyNot = deadline.Over() ? kKdeBusSilent : "no KDE Plasma keyboard service on the session bus";
    return nullptr;
  }
  const char* unique = nullptr;
  g_variant_get(owner, "(&s)", &unique);
  // Signals from the moment the layout is read: a switch in between is not lost.
  source->Follow(unique);
  g_variant_unref(owner);
  // Asked only of a running Plasma: a desktop that merely has KDE programs installed must not start its
  // keyboard service by being asked.
  GVariant* layout = Call(source->connection_, source->context_, deadline, source->owner_.c_str(), kPath,
                          kInterface, "getLayout", nullptr, "(u)");
  if (layout == nullptr) {
    *whyNot = deadline.Over() ? kKdeBusSilent : "no KDE Plasma keyboard service on the session bus";
    return nullptr;
  }
  std::uint32_t index = 0;
  g_variant_get(layout, "(u)", &index);
  g_variant_unref(layout);
  ActiveLayout active;
  active.index = index;
  active.where = kWhere;
  source->onChange_(active);
  source->thread_ = std::thread([s = source.get()] {
    g_main_context_push_thread_default(s->context_);
    g_main_loop_run(s->loop_);
    g_main_context_pop_thread_default(s->context_);
  });
  return source;
}

KdeLayoutSource::~KdeLayoutSource() {
  if (thread_.joinable()) {
    // Quitting before the loop runs is lost: ask on the loop's own context, which runs it in any case.
    g_main_context_invoke(
        context_,
        [](void* loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_);
    thread_.join();
  }
  if (connection_ != nullptr) {
    if (layoutSubscription_ != 0) {
      g_dbus_connection_signal_unsubscribe(connection_, layoutSubscription_);
    }
    if (ownerSubscription_ != 0) {
      g_dbus_connection_signal_unsubscribe(connection_, ownerSubscription_);
    }
    // Closed without waiting for the bus, which may not answer.
    g_dbus_connection_close(connection_, nullptr, nullptr, nullptr);
    g_object_unref(connection_);
  }
  if (loop_ != nullptr) {
    g_main_loop_unref(loop_);
  }
  if (context_ != nullptr) {
    // Whatever the subscriptions still had queued is dropped with the context.
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_unref(context_);
  }
}

void KdeLayoutSource::Follow(const std::string& owner) {
  if (layoutSubscription_ != 0) {
    g_dbus_connection_signal_unsubscribe(connection_, layoutSubscription_);
    layoutSubscription_ = 0;
  }
  owner_ = owner;
  if (!owner_.empty()) {
    // The match rule names the owner and the path, and the library checks both for each signal, also for
    // one sent to this connection alone.
    layoutSubscription_ =
        g_dbus_connection_signal_subscribe(connection_, owner_.c_str(), kInterface, "layoutChanged", kPath,
                                           nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &OnSignal, this, nullptr);
  }
}

void KdeLayoutSource::OnSignal(GDBusConnection*, const char* sender, const char* path, const char*,
                               const char* member, GVariant* parameters, void* data) {
  auto* self = static_cast<KdeLayoutSource*>(data);
  const std::string signal = member;
  if (signal == "NameOwnerChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)"))) {
    const char* name = nullptr;
    const char* after = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, nullptr, &after);
    self->Follow(after);  // empty while no Plasma owns it
  } else if (signal == "layoutChanged" && sender != nullptr && sender == self->owner_ &&
             std::string(path) == kPath && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(u)"))) {
    std::uint32_t index = 0;
    g_variant_get(parameters, "(u)", &index);
    ActiveLayout active;
    active.index = index;
    active.where = kWhere;
    self->onChange_(active);
  }
}

}  // namespace srd
