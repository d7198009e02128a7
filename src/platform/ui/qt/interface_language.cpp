#include "platform/ui/qt/interface_language.h"

#include <string_view>
#include <vector>

namespace srd {

namespace {

// "de_DE.UTF-8@euro" -> "de_DE": the codeset and the modifier do not choose a catalogue.
std::string WithoutCodesetAndModifier(std::string_view locale) {
  const std::size_t end = locale.find_first_of(".@");
  return std::string(locale.substr(0, end));
}

bool IsPlainCLocale(const std::string& name) {
  return name == "C" || name == "POSIX";
}

// The language part of "de_DE": "de".
std::string LanguageOf(const std::string& name) {
  return name.substr(0, name.find('_'));
}

std::vector<std::string> SplitPreferences(std::string_view list) {
  std::vector<std::string> out;
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    if (!entry.empty()) {
      out.emplace_back(entry);
    }
    if (colon == std::string_view::npos) {
      break;
    }
    list.remove_prefix(colon + 1);
  }
  return out;
}

}  // namespace

std::string ChooseCatalogue(const std::function<const char*(const char*)>& variable,
                            const std::function<bool(const std::string&)>& hasCatalogue) {
  const auto set = [&variable](const char* name) {
    const char* value = variable(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
  };
  const char* locale = set("LC_ALL");
  if (locale == nullptr) {
    locale = set("LC_MESSAGES");
  }
  if (locale == nullptr) {
    locale = set("LANG");
  }
  const std::string messages = WithoutCodesetAndModifier(locale != nullptr ? locale : "C");
  // As with the desktop's message catalogues, LANGUAGE is not looked at under the C locale: a program started
  // with LC_ALL=C shows its texts as written.
  if (IsPlainCLocale(messages)) {
    return {};
  }
  std::vector<std::string> preferences;
  if (const char* list = set("LANGUAGE")) {
    preferences = SplitPreferences(list);
  }
  preferences.push_back(messages);
  for (const std::string& preference : preferences) {
    const std::string name = WithoutCodesetAndModifier(preference);
    const std::string language = LanguageOf(name);
    if (IsPlainCLocale(name) || language == "ja") {
      return {};
    }
    if (hasCatalogue(name)) {
      return name;
    }
    if (language != name && hasCatalogue(language)) {
      return language;
    }
  }
  return hasCatalogue(kFallbackCatalogue) ? kFallbackCatalogue : std::string();
}

}  // namespace srd
