#include "seal/key_file.h"

#include "seal/pairing_code.h"
#include "seal/private_file.h"

namespace srd::seal {
namespace {

constexpr std::size_t kKeyFileBytes = 256;

KeyFileResult Refused(std::string whyNot) {
  KeyFileResult result;
  result.whyNot = std::move(whyNot);
  return result;
}

}  // namespace

ReceiverFiles ReceiverFilesHere() {
  ReceiverFiles files;
  files.directory = ConfigDirectory("strokerelayd");
  if (!files.directory.empty()) {
    files.key = files.directory + "/key";
    files.order = files.directory + "/sender-order";
  }
  return files;
}

KeyFileResult LoadReceiverKey(const ReceiverFiles& files) {
  if (files.directory.empty()) {
    // Without a home there is no key file to find; the receiver is open, as without the file.
    KeyFileResult open;
    open.ok = true;
    return open;
  }
  const ReadResult read = ReadPrivateFile(files.key, kKeyFileBytes);
  if (read.status == ReadStatus::kRefused) {
    return Refused(read.whyNot);
  }
  KeyFileResult result;
  if (read.status == ReadStatus::kMissing) {
    result.ok = true;
    return result;
  }
  std::string code = read.text;
  while (!code.empty() && (code.back() == '\n' || code.back() == '\r' || code.back() == ' ')) {
    code.pop_back();
  }
  std::string why;
  result.key = KeyFromPairingCode(code, &why);
  if (!result.key) {
    return Refused(files.key + " holds no valid pairing code: " + why);
  }
  result.ok = true;
  return result;
}

KeyFileResult PairReceiver(const ReceiverFiles& files) {
  if (files.directory.empty()) {
    return Refused("neither XDG_CONFIG_HOME nor HOME names a directory for the key");
  }
  KeyFileResult existing = LoadReceiverKey(files);
  if (!existing.ok || existing.key) {
    return existing;
  }
  if (std::string why = MakePrivateDirectory(files.directory); !why.empty()) {
    return Refused(why);
  }
  const Key key = NewKey();
  if (std::string why = WritePrivateFile(files.key, PairingCodeFor(key) + "\n"); !why.empty()) {
    return Refused(why);
  }
  // A record of another key's senders means nothing for this one.
  RemovePrivateFile(files.order);
  KeyFileResult made;
  made.ok = true;
  made.key = key;
  return made;
}

std::string UnpairReceiver(const ReceiverFiles& files) {
  if (files.directory.empty()) {
    return {};
  }
  if (std::string why = RemovePrivateFile(files.key); !why.empty()) {
    return why;
  }
  return RemovePrivateFile(files.order);
}

}  // namespace srd::seal
