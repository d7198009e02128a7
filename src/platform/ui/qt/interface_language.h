#pragma once

#include <functional>
#include <string>

// Which language the windows speak, chosen from the environment the way the desktop's own programs choose it:
// LANGUAGE (a colon-separated list of preferences), then the first of LC_ALL, LC_MESSAGES and LANG that is
// set. The interface texts are written in Japanese; a Japanese locale and the C/POSIX locale (the program's
// own default) show them as written. Any other language shows its catalogue if one was installed, else the
// English one.

namespace srd {

// The catalogue every language without one of its own falls back to.
inline constexpr char kFallbackCatalogue[] = "en";

// The name of the catalogue to load ("de_AT", "de", "en"), or empty for the Japanese texts as written.
// `variable` reads the environment (nullptr or "" when a variable is unset); `hasCatalogue` says whether a
// catalogue of that name was installed.
std::string ChooseCatalogue(const std::function<const char*(const char*)>& variable,
                            const std::function<bool(const std::string&)>& hasCatalogue);

}  // namespace srd
