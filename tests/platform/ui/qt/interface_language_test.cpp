#include "platform/ui/qt/interface_language.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace srd {
namespace {

// The catalogue chosen for an environment, with catalogues for English, German and Austrian German.
std::string Chosen(const std::map<std::string, std::string>& environment,
                   const std::set<std::string>& catalogues = {"en", "de", "de_AT"}) {
  return ChooseCatalogue(
      [&environment](const char* name) -> const char* {
        const auto it = environment.find(name);
        return it != environment.end() ? it->second.c_str() : nullptr;
      },
      [&catalogues](const std::string& name) { return catalogues.count(name) != 0; });
}

TEST(CatalogueChoiceTest, JapaneseAndTheCLocaleShowTheTextsAsWritten) {
  EXPECT_EQ(Chosen({}), "");
  EXPECT_EQ(Chosen({{"LANG", "C"}}), "");
  EXPECT_EQ(Chosen({{"LANG", "C.UTF-8"}}), "");
  EXPECT_EQ(Chosen({{"LC_ALL", "POSIX"}}), "");
  EXPECT_EQ(Chosen({{"LANG", "ja_JP.UTF-8"}}), "");
  // Under the C locale the list of preferences is not looked at.
  EXPECT_EQ(Chosen({{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}), "");
  // Japanese preferred before a language that has a catalogue.
  EXPECT_EQ(Chosen({{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "ja:de"}}), "");
}

TEST(CatalogueChoiceTest, TheFirstSetVariableChoosesInTheUsualOrder) {
  EXPECT_EQ(Chosen({{"LANG", "de_DE.UTF-8"}}), "de");
  EXPECT_EQ(Chosen({{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}}), "de");
  EXPECT_EQ(Chosen({{"LC_MESSAGES", "de_DE.UTF-8"}, {"LC_ALL", "en_GB.UTF-8"}}), "en");
  EXPECT_EQ(Chosen({{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}), "");
  // Empty means unset.
  EXPECT_EQ(Chosen({{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "de_DE@euro"}}), "de");
  // A country's own catalogue before its language's.
  EXPECT_EQ(Chosen({{"LANG", "de_AT.UTF-8"}}), "de_AT");
  EXPECT_EQ(Chosen({{"LANG", "de_CH.UTF-8"}}), "de");
}

TEST(CatalogueChoiceTest, PreferencesAreTriedInTurnThenEnglish) {
  EXPECT_EQ(Chosen({{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:de_CH:en"}}), "de");
  EXPECT_EQ(Chosen({{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "::fr::"}}), "de");
  EXPECT_EQ(Chosen({{"LANG", "fr_FR.UTF-8"}}), "en");
  EXPECT_EQ(Chosen({{"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "pt_BR:es"}}), "en");
  // Without an English catalogue installed, the texts as written.
  EXPECT_EQ(Chosen({{"LANG", "fr_FR.UTF-8"}}, {}), "");
}

}  // namespace
}  // namespace srd
