#include "shell/shell_values.h"

#include "receiver/receiver_worker.h"

namespace srd {

ShellValues& Shell() {
  static ShellValues values;
  return values;
}

std::u16string StoredPortText() {
  const ReceiverState* state = Shell().state;
  const std::int32_t port = state != nullptr ? state->port.load(std::memory_order_relaxed) : DEFAULT_PORT;
  const std::string digits = std::to_string(port);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace srd
