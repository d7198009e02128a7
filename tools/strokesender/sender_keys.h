#pragma once

#include <optional>
#include <string>

#include "command_line.h"
#include "seal/key.h"

// The keys a sender seals with: the code --key gives, else the one stored for the host by
// 'strokesender --pair HOST CODE' in $XDG_CONFIG_HOME/strokesender/keys (one "HOST CODE" line per host, a
// file only its user can read).

namespace srd::sender {

struct SealingKey {
  bool ok = false;               // false: error says why, and nothing may be sent
  std::optional<seal::Key> key;  // nothing: the receiver is not paired, datagrams go plain
  std::string error;
};

// The key for options.host: --key's code when given, else the stored one, else none.
SealingKey KeyForSending(const Options& options);

// Stores code (checked first) as the key for host, replacing an earlier one. Empty on success, else the
// reason.
std::string StoreKeyForHost(const std::string& host, const std::string& code);

}  // namespace srd::sender
