#pragma once

#include <QString>

#include <string>

// The windows' texts in the user's language. The program's resources hold each text as written (Japanese);
// the catalogue strokerelayd_<language>.qm, compiled from translations/strokerelayd_<language>.ts, maps each
// of them, in the context kInterfaceContext, to the text shown. Texts without an entry (a host name, a port
// number) are shown as they are.

namespace srd {

inline constexpr char kInterfaceContext[] = "strokerelayd";
// Menus have more room than the panel's buttons: their texts may be translated apart, under this comment.
inline constexpr char kMenuDisambiguation[] = "menu";

// Chooses the catalogue from the environment as it is now (interface_language.h) and puts it in place of
// the one chosen before, if any. Needs the application object. Returns the catalogue's name ("de", "en"), or
// empty when the texts are shown as written.
std::string InstallInterfaceTranslation();

// Where the catalogues are read from: the build tree's when the program runs from the tree it was built in,
// else the installed program's.
std::string TranslationDirectory();

// What the widgets show for one of the program's texts.
QString ShownText(const std::u16string& text, const char* disambiguation = nullptr);

}  // namespace srd
