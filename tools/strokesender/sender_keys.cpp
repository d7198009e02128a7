#include "sender_keys.h"

#include <sstream>

#include "seal/pairing_code.h"
#include "seal/private_file.h"

namespace srd::sender {
namespace {

constexpr std::size_t kKeysFileBytes = 64 * 1024;

std::string KeysPath(std::string* directory) {
  *directory = seal::ConfigDirectory("strokesender");
  return directory->empty() ? std::string() : *directory + "/keys";
}

SealingKey Refused(std::string error) {
  SealingKey result;
  result.error = std::move(error);
  return result;
}

SealingKey FromCode(const std::string& code, const std::string& where) {
  std::string why;
  std::optional<seal::Key> key = seal::KeyFromPairingCode(code, &why);
  if (!key) {
    return Refused("invalid key " + where + ": " + why);
  }
  SealingKey result;
  result.ok = true;
  result.key = key;
  return result;
}

}  // namespace

SealingKey KeyForSending(const Options& options) {
  if (options.keyGiven) {
    return FromCode(options.keyCode, "code");
  }
  SealingKey none;
  none.ok = true;
  std::string directory;
  const std::string path = KeysPath(&directory);
  if (path.empty()) {
    return none;
  }
  const seal::ReadResult read = seal::ReadPrivateFile(path, kKeysFileBytes);
  if (read.status == seal::ReadStatus::kRefused) {
    return Refused("the stored keys cannot be used: " + read.whyNot);
  }
  std::istringstream lines(read.text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string host;
    std::string code;
    if (words >> host >> code && host == options.host) {
      return FromCode(code, "stored for " + host + " in " + path);
    }
  }
  return none;
}

std::string StoreKeyForHost(const std::string& host, const std::string& code) {
  std::string why;
  const std::optional<seal::Key> key = seal::KeyFromPairingCode(code, &why);
  if (!key) {
    return "invalid key code: " + why;
  }
  std::string directory;
  const std::string path = KeysPath(&directory);
  if (path.empty()) {
    return "neither XDG_CONFIG_HOME nor HOME names a directory for the keys";
  }
  if (std::string made = seal::MakePrivateDirectory(directory); !made.empty()) {
    return made;
  }
  const seal::ReadResult read = seal::ReadPrivateFile(path, kKeysFileBytes);
  if (read.status == seal::ReadStatus::kRefused) {
    return read.whyNot;
  }
  std::string text;
  std::istringstream lines(read.text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string stored;
    if (words >> stored && stored != host) {
      text += line + "\n";
    }
  }
  text += host + " " + seal::PairingCodeFor(*key) + "\n";
  if (text.size() > kKeysFileBytes) {
    return path + " would grow past " + std::to_string(kKeysFileBytes) + " bytes";
  }
  return seal::WritePrivateFile(path, text);
}

}  // namespace srd::sender
