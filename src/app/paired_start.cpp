#include "app/paired_start.h"

#include <cstdio>
#include <string>

#include "seal/key_file.h"
#include "seal/paired_receiver.h"
#include "seal/pairing_code.h"

namespace srd {
namespace {

constexpr int kRefusedExit = 1;

bool StartSealingOrSay() {
  if (seal::StartSealing()) {
    return true;
  }
  std::fputs("strokerelayd: the cryptographic library cannot start (no random source)\n", stderr);
  return false;
}

}  // namespace

int PairCommand() {
  if (!StartSealingOrSay()) {
    return kRefusedExit;
  }
  const seal::ReceiverFiles files = seal::ReceiverFilesHere();
  const seal::KeyFileResult result = seal::PairReceiver(files);
  if (!result.ok || !result.key) {
    std::fprintf(stderr, "strokerelayd: cannot pair: %s\n", result.whyNot.c_str());
    return kRefusedExit;
  }
  std::printf(
      "This receiver types only what senders holding its key send (key in %s).\n"
      "Pair a sender with: strokesender --pair HOST CODE\n"
      "%s\n",
      files.key.c_str(), seal::PairingCodeFor(*result.key).c_str());
  return 0;
}

int UnpairCommand() {
  const seal::ReceiverFiles files = seal::ReceiverFilesHere();
  if (const std::string why = seal::UnpairReceiver(files); !why.empty()) {
    std::fprintf(stderr, "strokerelayd: cannot unpair: %s\n", why.c_str());
    return kRefusedExit;
  }
  std::puts("strokerelayd: the key is removed; the receiver types what any sender sends.");
  return 0;
}

std::optional<int> LoadPairedMode(std::unique_ptr<seal::PairedReceiver>& paired) {
  const seal::ReceiverFiles files = seal::ReceiverFilesHere();
  const seal::KeyFileResult result = seal::LoadReceiverKey(files);
  if (!result.ok) {
    std::fprintf(stderr, "strokerelayd: not started: %s\n", result.whyNot.c_str());
    return kRefusedExit;
  }
  if (!result.key) {
    return std::nullopt;
  }
  if (!StartSealingOrSay()) {
    return kRefusedExit;
  }
  paired = std::make_unique<seal::PairedReceiver>(*result.key, files.order);
  if (const std::string why = paired->LoadOrder(); !why.empty()) {
    std::fprintf(stderr, "strokerelayd: not started: %s\n", why.c_str());
    paired.reset();
    return kRefusedExit;
  }
  return std::nullopt;
}

void TellPairedMode() {
  std::fputs(
      "strokerelayd: paired: only senders holding this receiver's key are accepted "
      "(strokerelayd --unpair opens it to every sender)\n",
      stderr);
}

}  // namespace srd
