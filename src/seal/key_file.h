#pragma once

#include <optional>
#include <string>

#include "seal/key.h"

// The receiver's key file, $XDG_CONFIG_HOME/strokerelayd/key (~/.config/strokerelayd/key by default): the
// pairing code on one line. While it exists the receiver types only datagrams sealed with its key. Beside it
// lies the record of the order of each sender (seal/sender_order.h).

namespace srd::seal {

struct ReceiverFiles {
  std::string directory;  // empty when neither XDG_CONFIG_HOME nor HOME names one
  std::string key;
  std::string order;
};
ReceiverFiles ReceiverFilesHere();

struct KeyFileResult {
  bool ok = false;         // false: whyNot says why, and the receiver must not start
  std::optional<Key> key;  // nothing: no key file, the receiver is open
  std::string whyNot;
};

// The key the file holds, nothing when there is no file; refused when the file is not private, cannot be
// read, or holds no valid pairing code.
KeyFileResult LoadReceiverKey(const ReceiverFiles& files);

// The key, made and stored first when there is none. As LoadReceiverKey otherwise.
KeyFileResult PairReceiver(const ReceiverFiles& files);

// Removes the key and the order record. Empty on success, else the reason.
std::string UnpairReceiver(const ReceiverFiles& files);

}  // namespace srd::seal
