#include "platform/wayland/gnome_layout_source.h"

#include <gio/gio.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace srd {

namespace {

constexpr char kSchema[] = "org.gnome.desktop.input-sources";

// The (type, id) pairs of an a(ss) setting.
std::vector<std::pair<std::string, std::string>> SourcesOf(GSettings* settings, const char* key) {
  std::vector<std::pair<std::string, std::string>> sources;
  GVariant* value = g_settings_get_value(settings, key);
  GVariantIter iter;
  g_variant_iter_init(&iter, value);
  const char* type = nullptr;
  const char* id = nullptr;
  while (g_variant_iter_next(&iter, "(&s&s)", &type, &id)) {
    sources.emplace_back(type, id);
  }
  g_variant_unref(value);
  return sources;
}

}  // namespace

std::optional<LayoutName> LayoutOfGnomeSource(const std::string& id) {
  std::string text = id;
  std::replace(text.begin(), text.end(), '+', ':');
  LayoutName name;
  if (std::count(text.begin(), text.end(), ':') > 1 || !ParseLayoutName(text, &name)) {
    return std::nullopt;
  }
  return name;
}

std::unique_ptr<GnomeLayoutSource> GnomeLayoutSource::Start(ActiveLayoutChanged onChange,
                                                            std::string* whyNot) {
  GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
  GSettingsSchema* schema =
      schemas != nullptr ? g_settings_schema_source_lookup(schemas, kSchema, TRUE) : nullptr;
  if (schema == nullptr || !g_settings_schema_has_key(schema, "sources") ||
      !g_settings_schema_has_key(schema, "mru-sources")) {
    // Reading a key the schema lacks would abort: an old schema is no schema here.
    if (schema != nullptr) {
      g_settings_schema_unref(schema);
    }
    *whyNot = "no GNOME input source settings";
    return nullptr;
  }
  std::unique_ptr<GnomeLayoutSource> source(new GnomeLayoutSource(std::move(onChange)));
  // The settings' signals come on the main context that is the thread's default when they are made: the
  // source's own, which its thread runs.
  source->context_ = g_main_context_new();
  source->loop_ = g_main_loop_new(source->context_, FALSE);
  g_main_context_push_thread_default(source->context_);
  source->settings_ = g_settings_new_full(schema, nullptr, nullptr);
  g_settings_schema_unref(schema);
  g_signal_connect(source->settings_, "changed", G_CALLBACK(&GnomeLayoutSource::OnChanged), source.get());
  const bool read = source->Read();
  g_main_context_pop_thread_default(source->context_);
  if (!read) {
    *whyNot = "no GNOME input source is a keyboard layout";
    return nullptr;
  }
  source->thread_ = std::thread([s = source.get()] {
    g_main_context_push_thread_default(s->context_);
    g_main_loop_run(s->loop_);
    g_main_context_pop_thread_default(s->context_);
  });
  return source;
}

GnomeLayoutSource::~GnomeLayoutSource() {
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
  if (settings_ != nullptr) {
    g_signal_handlers_disconnect_by_data(settings_, this);
    g_object_unref(settings_);
  }
  if (loop_ != nullptr) {
    g_main_loop_unref(loop_);
  }
  if (context_ != nullptr) {
    g_main_context_unref(context_);
  }
}

void GnomeLayoutSource::OnChanged(GSettings*, const char* key, void* self) {
  const std::string changed = key;
  if (changed == "mru-sources" || changed == "sources") {
    static_cast<GnomeLayoutSource*>(self)->Read();
  }
}

bool GnomeLayoutSource::Read() {
  const auto sources = SourcesOf(settings_, "sources");
  auto recent = SourcesOf(settings_, "mru-sources");
  const auto& order = recent.empty() ? sources : recent;
  // An input method (ibus) as the current source types through a layout of its own, which is not said here;
  // the first XKB source stands in for it.
  const auto current = std::find_if(order.begin(), order.end(), [](const auto& s) {
    return s.first == "xkb" && LayoutOfGnomeSource(s.second).has_value();
  });
  if (current == order.end()) {
    return false;
  }
  const auto position = std::find(sources.begin(), sources.end(), *current);
  ActiveLayout active;
  active.name = *LayoutOfGnomeSource(current->second);
  active.where = "GNOME input source";
  if (position != sources.end()) {
    // Appended piece by piece: the chain of temporaries set off a false -Wrestrict in optimised builds.
    active.where += ' ';
    active.where += std::to_string(position - sources.begin() + 1);
    active.where += " of ";
    active.where += std::to_string(sources.size());
  }
  if (active.where + current->second != said_) {
    said_ = active.where + current->second;
    onChange_(active);
  }
  return true;
}

}  // namespace srd
