#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/layout/keyboard_layout.h"
#include "seal/key.h"

// The sender's command line:
//   strokesender [-p PORT] [-d MS] [-l LAYOUT[:VARIANT]] HOST [TEXT]
//   strokesender [-p PORT] HOST --raw COMMANDS
//   strokesender [-p PORT] --window HOST
//   strokesender --list-layouts
//   strokesender --pair HOST CODE
// and, for a paired receiver, --key CODE and --repeat N with any of the sending forms.
// Options may come before or after the operands; "--" ends the options, so a TEXT may begin with "-".

namespace srd::sender {

inline constexpr std::uint16_t kDefaultPort = 8102;
inline constexpr int kDefaultDelayMs = 2;
inline constexpr int kMaxDelayMs = 60000;
// The receiver reads at most this many bytes of a datagram; a longer one is dropped whole.
inline constexpr std::size_t kMaxDatagramBytes = 1024;
// Each sealed datagram is sent this many times by default, kRepeatGapMs apart: the receiver types it once,
// so only losing every copy loses it.
inline constexpr int kDefaultRepeat = 4;
inline constexpr int kMaxRepeat = 10;
inline constexpr int kRepeatGapMs = 2;

// Exit statuses.
inline constexpr int kExitSent = 0;
inline constexpr int kExitNetwork = 1;
inline constexpr int kExitUsage = 2;

enum class Action {
  kType,         // type text (given, or read from standard input / the terminal)
  kRaw,          // send one datagram as given
  kWindow,       // send the keys typed into a window of the sender's own
  kHelp,         // print the usage and stop
  kVersion,      // print the version and stop
  kListLayouts,  // print the keyboard layouts -l takes and stop
  kPair,         // store the pairing code for a host and stop
};

struct Options {
  Action action = Action::kType;
  std::string host;
  std::uint16_t port = kDefaultPort;
  int delayMs = kDefaultDelayMs;
  bool delayGiven = false;  // -d: text goes one key per datagram, delayMs apart, instead of in paced batches
  LayoutName layout{"", ""};  // the receiver's keyboard layout; empty: this machine's
  bool hasText = false;
  std::string text;                  // when hasText
  std::string datagram;              // kRaw: the complete datagram, "?" included
  bool keyGiven = false;             // --key: seal with keyCode, whatever is stored for the host
  std::string keyCode;               // --key, or kPair's CODE
  int repeat = kDefaultRepeat;       // copies of each sealed datagram
  std::optional<seal::Key> sealKey;  // set once the key is known (--key or stored): every datagram is sealed
  bool verbose = false;  // -v: say on standard error which layout is typed for and where that came from
};

struct ParsedCommandLine {
  bool ok = false;
  Options options;
  std::string error;  // when !ok: one line, without program name
};

// Parses the arguments after the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args);

// The datagram --raw sends: the commands with a leading "?" added when it is missing.
std::string RawDatagram(std::string_view commands);
// True when the receiver finds at least one key command letter in datagram (after its "?", before a line
// end).
bool HoldsKeyCommand(std::string_view datagram);

// The --help text (ends with a newline) and the --version line.
std::string UsageText();
std::string VersionText();

}  // namespace srd::sender
