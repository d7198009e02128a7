#include "support/x_server_layout.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace srd::test {

bool SetServerLayout(const std::string& displayName, const std::string& layouts,
                     const std::string& variants) {
  const std::string args =
      " -display " + displayName + " -layout '" + layouts + "' -variant '" + variants + "'";
  if (std::system(("setxkbmap" + args + " 2>/dev/null").c_str()) != 0) {
    return false;
  }
  std::vector<std::string> ids;
  if (std::FILE* list =
          popen(("xinput --display " + displayName + " list --id-only 2>/dev/null").c_str(), "r")) {
    char line[32];
    while (std::fgets(line, sizeof line, list) != nullptr) {
      ids.push_back(std::to_string(std::atoi(line)));
    }
    pclose(list);
  }
  for (const std::string& id : ids) {
    // Pointer devices refuse a keymap; only the keyboards matter.
    if (std::system(("setxkbmap" + args + " -device " + id + " >/dev/null 2>&1").c_str()) != 0) {
      continue;
    }
  }
  return true;
}

}  // namespace srd::test
