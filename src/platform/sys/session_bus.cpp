#include "platform/sys/session_bus.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace srd {

bool DoWithoutSessionBusWhereThereIsNone() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0') {
    return false;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
    const std::string socket = std::string(runtime) + "/bus";
    if (access(socket.c_str(), F_OK) == 0) {
      return false;  // the libraries find this one themselves
    }
  }
  return setenv("DBUS_SESSION_BUS_ADDRESS", NO_SESSION_BUS_ADDRESS, 1) == 0;
}

}  // namespace srd
