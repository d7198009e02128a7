#include "shell/shell_values.h"

namespace srd {

ShellValues& Shell() {
  static ShellValues values;
  return values;
}

}  // namespace srd
