// strokesender: types on a machine running strokerelayd, from this one.

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "command_line.h"
#include "datagram_batch.h"
#include "layout_list.h"
#include "layout_typing.h"
#include "platform/sys/session_bus.h"
#include "seal/pairing_code.h"
#include "seal/sealed_datagram.h"
#include "send_pacer.h"
#include "sender_keys.h"
#include "terminal.h"
#include "terminal_keys.h"
#include "text_encoding.h"
#include "text_stream.h"
#include "udp_sender.h"
#ifdef SRD_SENDER_WITH_WINDOW
#include "window_mode.h"
#endif

namespace srd::sender {
namespace {

// How long a lone ESC waits for the rest of an escape sequence before it counts as the Escape key.
constexpr int kEscapeWaitMs = 50;

void PrintError(const std::string& message) {
  std::fprintf(stderr, "strokesender: %s\n", message.c_str());
}

// Opens `sender` towards the receiver, `delayMs` between datagrams; false, with the reason told, when it
// cannot.
bool OpenSender(const Options& options, int delayMs, UdpSender& sender) {
  std::string error;
  if (sender.Open(options.host, options.port, delayMs, error)) {
    if (options.sealKey) {
      sender.SealWith(*options.sealKey, options.repeat);
    }
    return true;
  }
  PrintError(error);
  return false;
}

// The keys of the layout the options name (this machine's by default); nullptr, with the reason told, for a
// layout XKB does not know.
std::unique_ptr<LayoutTyping> TypingFor(const Options& options) {
  std::string where;
  std::unique_ptr<LayoutTyping> typing = LayoutTyping::For(options.layout, &where);
  if (typing == nullptr) {
    PrintError("unknown keyboard layout '" + options.layout.Text() +
               "'; 'strokesender --list-layouts' lists the layouts and variants it knows");
  } else if (options.verbose) {
    std::fprintf(stderr, "strokesender: typing for keyboard layout %s (%s)\n", typing->Name().Text().c_str(),
                 where.c_str());
  }
  return typing;
}

int SendAll(const Options& options, const std::vector<std::string>& datagrams) {
  UdpSender sender;
  std::string error;
  if (!OpenSender(options, options.delayMs, sender)) {
    return kExitNetwork;
  }
  for (const std::string& datagram : datagrams) {
    if (!sender.Send(datagram, error)) {
      PrintError(error);
      return kExitNetwork;
    }
  }
  return kExitSent;
}

// Many characters to a datagram, each datagram when the receiver has room for it by the pacer's model.
int SendPaced(const Options& options, const std::vector<Batch>& batches) {
  UdpSender sender;
  std::string error;
  if (!OpenSender(options, 0, sender)) {
    return kExitNetwork;
  }
  SendPacer pacer(kSlowestReceiver);
  for (const Batch& batch : batches) {
    std::this_thread::sleep_until(pacer.NextSendTime(SendPacer::Clock::now()));
    if (!sender.Send(batch.datagram, error)) {
      PrintError(error);
      return kExitNetwork;
    }
    pacer.Sent(SendPacer::Clock::now(), batch.events);
  }
  return kExitSent;
}

int TypeText(const Options& options, std::string_view text, bool byLine) {
  const std::unique_ptr<LayoutTyping> typing = TypingFor(options);
  if (typing == nullptr) {
    return kExitUsage;
  }
  const EncodedText encoded = EncodeText(text, typing.get());
  if (encoded.refusal) {
    PrintError(DescribeRefusal(*encoded.refusal, byLine));
    return kExitUsage;
  }
  if (options.delayGiven) {
    return SendAll(options, encoded.datagrams);  // one key at a time, as slow as asked
  }
  return SendPaced(
      options, BatchStrokes(encoded.datagrams, options.sealKey ? seal::SEALED_MAX_TEXT : kMaxDatagramBytes));
}

// Standard input that is no terminal, typed as it is read (see TextStream): memory stays bounded whatever
// its length, and typing starts with its first line.
int TypeStream(const Options& options, int fd) {
  const std::unique_ptr<LayoutTyping> typing = TypingFor(options);
  if (typing == nullptr) {
    return kExitUsage;
  }
  UdpSender sender;
  std::string error;
  if (!OpenSender(options, options.delayGiven ? options.delayMs : 0, sender)) {
    return kExitNetwork;
  }
  SendPacer pacer(kSlowestReceiver);
  const auto send = [&](const EncodedText& piece) {
    if (options.delayGiven) {
      for (const std::string& datagram : piece.datagrams) {
        if (!sender.Send(datagram, error)) {
          return false;
        }
      }
      return true;
    }
    for (const Batch& batch :
         BatchStrokes(piece.datagrams, options.sealKey ? seal::SEALED_MAX_TEXT : kMaxDatagramBytes)) {
      std::this_thread::sleep_until(pacer.NextSendTime(SendPacer::Clock::now()));
      if (!sender.Send(batch.datagram, error)) {
        return false;
      }
      pacer.Sent(SendPacer::Clock::now(), batch.events);
    }
    return true;
  };
  TextStream stream(typing.get());
  char buffer[kMaxTextPiece];
  for (bool end = false; !end;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      PrintError(std::string("cannot read standard input: ") + std::strerror(errno));
      return kExitUsage;
    }
    end = got == 0;
    const EncodedText piece =
        end ? stream.Finish() : stream.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    if (piece.refusal) {
      PrintError(DescribeRefusal(*piece.refusal, true));
      return kExitUsage;
    }
    if (!send(piece)) {
      PrintError(error);
      return kExitNetwork;
    }
  }
  return kExitSent;
}

int TypeInteractively(const Options& options) {
  const std::unique_ptr<LayoutTyping> typing = TypingFor(options);
  if (typing == nullptr) {
    return kExitUsage;
  }
  UdpSender sender;
  std::string error;
  if (!OpenSender(options, options.delayMs, sender)) {
    return kExitNetwork;
  }
  if (!EnterRawMode()) {
    PrintError(std::string("cannot set up the terminal: ") + std::strerror(errno));
    return kExitUsage;
  }
  std::fprintf(stderr, "Typing on %s port %u; each key goes as you press it. Press Ctrl-] to end.\n",
               options.host.c_str(), static_cast<unsigned>(options.port));

  TerminalKeyReader reader(typing.get());
  int status = kExitSent;
  bool done = false;
  while (!done) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, reader.HasPending() ? kEscapeWaitMs : -1);
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    std::vector<TerminalKey> keys;
    if (ready == 0) {
      keys = reader.Flush();
    } else {
      char buffer[256];
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;  // the terminal went away
      }
      keys = reader.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
    for (const TerminalKey& key : keys) {
      if (key.kind == TerminalKey::Kind::kEnd) {
        done = true;
        break;
      }
      if (key.kind == TerminalKey::Kind::kUntypeable) {
        std::fprintf(stderr, "strokesender: U+%04X: the %s layout has no key for it; not sent\n",
                     static_cast<unsigned>(key.codePoint), typing->Name().Text().c_str());
        continue;
      }
      if (!sender.Send(StrokeDatagram(key.stroke), error)) {
        LeaveRawMode();
        PrintError(error);
        status = kExitNetwork;
        done = true;
        break;
      }
    }
  }
  LeaveRawMode();
  return status;
}

// --pair HOST CODE: a code that is not one is refused as bad usage, before anything is stored.
int StorePairing(const Options& options) {
  std::string why;
  if (!seal::KeyFromPairingCode(options.keyCode, &why)) {
    PrintError("invalid key code: " + why);
    return kExitUsage;
  }
  if (const std::string failed = StoreKeyForHost(options.host, options.keyCode); !failed.empty()) {
    PrintError("cannot store the key for " + options.host + ": " + failed);
    return kExitNetwork;
  }
  std::printf("strokesender: paired with %s; what is sent there is sealed with its key from now on\n",
              options.host.c_str());
  return kExitSent;
}

// The key every datagram is sealed with, when the receiver is paired; false, with the reason told, for a
// code that is not a valid one (nothing is sent then).
bool FindSealingKey(Options& options) {
  const SealingKey sealing = KeyForSending(options);
  if (!sealing.ok) {
    PrintError(sealing.error);
    return false;
  }
  options.sealKey = sealing.key;
  if (options.sealKey && options.action == Action::kRaw && options.datagram.size() > seal::SEALED_MAX_TEXT) {
    PrintError("--raw datagram is " + std::to_string(options.datagram.size()) +
               " bytes; sealed, the receiver takes at most " + std::to_string(seal::SEALED_MAX_TEXT));
    return false;
  }
  return true;
}

int Run(int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.ok) {
    PrintError(parsed.error);
    std::fprintf(stderr, "Try 'strokesender --help' for more information.\n");
    return kExitUsage;
  }
  if (!seal::StartSealing()) {
    PrintError("the cryptographic library cannot start (no random source)");
    return kExitNetwork;
  }
  Options options = parsed.options;
  if (options.action == Action::kPair) {
    return StorePairing(options);
  }
  if ((options.action == Action::kType || options.action == Action::kRaw ||
       options.action == Action::kWindow) &&
      !FindSealingKey(options)) {
    return kExitUsage;
  }
  switch (options.action) {
    case Action::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return kExitSent;
    case Action::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return kExitSent;
    case Action::kListLayouts:
      std::fputs(LayoutListText().c_str(), stdout);
      return kExitSent;
    case Action::kRaw:
      return SendAll(options, {options.datagram});
    case Action::kWindow:
#ifdef SRD_SENDER_WITH_WINDOW
      return RunWindowMode(options);
#else
      PrintError("--window needs the Qt window support, which this build of strokesender leaves out");
      return kExitUsage;
#endif
    case Action::kType:
    case Action::kPair:
      break;
  }
  if (options.hasText) {
    return TypeText(options, options.text, false);
  }
  if (isatty(STDIN_FILENO) != 0) {
    return TypeInteractively(options);
  }
  return TypeStream(options, STDIN_FILENO);
}

}  // namespace
}  // namespace srd::sender

int main(int argc, char** argv) {
  // The window and the layout look-up must not leave a session bus of their own running after the sender.
  srd::DoWithoutSessionBusWhereThereIsNone();
  return srd::sender::Run(argc, argv);
}
