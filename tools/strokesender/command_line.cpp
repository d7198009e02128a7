#include "command_line.h"

#include <charconv>
#include <optional>

#include "layout_typing.h"

namespace srd::sender {
namespace {

std::optional<long> ParseNumber(std::string_view text, long low, long high) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

ParsedCommandLine Failure(std::string message) {
  ParsedCommandLine result;
  result.error = std::move(message);
  return result;
}

// Splits "--name=value" and "-xVALUE" forms: returns true and the option's value when the argument is the
// option named by shortName or longName; needValue tells whether a missing value was the problem.
struct OptionMatch {
  bool matched = false;
  bool inlineValue = false;
  std::string_view value;
};

OptionMatch MatchOption(std::string_view arg, std::string_view shortName, std::string_view longName) {
  if (!shortName.empty() && arg.substr(0, shortName.size()) == shortName) {
    if (arg.size() == shortName.size()) {
      return {true, false, {}};
    }
    return {true, true, arg.substr(shortName.size())};
  }
  if (arg == longName) {
    return {true, false, {}};
  }
  if (arg.size() > longName.size() && arg.substr(0, longName.size()) == longName &&
      arg[longName.size()] == '=') {
    return {true, true, arg.substr(longName.size() + 1)};
  }
  return {};
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
  Options options;
  std::vector<std::string_view> operands;
  bool raw = false;
  bool window = false;
  bool pair = false;
  std::string_view rawCommands;
  bool optionsEnded = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      options.action = Action::kHelp;
      return ParsedCommandLine{true, options, {}};
    }
    if (arg == "-V" || arg == "--version") {
      options.action = Action::kVersion;
      return ParsedCommandLine{true, options, {}};
    }
    if (arg == "--list-layouts") {
      options.action = Action::kListLayouts;
      return ParsedCommandLine{true, options, {}};
    }
    if (arg == "--window") {
      window = true;
      continue;
    }
    if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (arg == "--pair") {
      pair = true;
      continue;
    }

    OptionMatch match;
    std::string_view name;
    if ((match = MatchOption(arg, "-p", "--port")).matched) {
      name = "port";
    } else if ((match = MatchOption(arg, "-d", "--delay")).matched) {
      name = "delay";
    } else if ((match = MatchOption(arg, "-l", "--layout")).matched) {
      name = "layout";
    } else if ((match = MatchOption(arg, "", "--raw")).matched) {
      name = "raw";
    } else if ((match = MatchOption(arg, "", "--key")).matched) {
      name = "key";
    } else if ((match = MatchOption(arg, "", "--repeat")).matched) {
      name = "repeat";
    } else {
      return Failure("unknown option '" + std::string(arg) + "'");
    }
    std::string_view value = match.value;
    if (!match.inlineValue) {
      if (i + 1 >= args.size()) {
        return Failure("option '" + std::string(arg) + "' needs a value");
      }
      value = args[++i];
    }
    if (name == "port") {
      const std::optional<long> port = ParseNumber(value, 1, 65535);
      if (!port) {
        return Failure("invalid port '" + std::string(value) + "' (expected 1 to 65535)");
      }
      options.port = static_cast<std::uint16_t>(*port);
    } else if (name == "delay") {
      const std::optional<long> delay = ParseNumber(value, 0, kMaxDelayMs);
      if (!delay) {
        return Failure("invalid delay '" + std::string(value) + "' (expected 0 to " +
                       std::to_string(kMaxDelayMs) + " milliseconds)");
      }
      options.delayMs = static_cast<int>(*delay);
      options.delayGiven = true;
    } else if (name == "layout") {
      if (!ParseLayoutName(value, &options.layout)) {
        return Failure("invalid layout '" + std::string(value) +
                       "' (expected LAYOUT or LAYOUT:VARIANT, e.g. de)");
      }
    } else if (name == "key") {
      options.keyGiven = true;
      options.keyCode = std::string(value);
    } else if (name == "repeat") {
      const std::optional<long> repeat = ParseNumber(value, 1, kMaxRepeat);
      if (!repeat) {
        return Failure("invalid repeat '" + std::string(value) + "' (expected 1 to " +
                       std::to_string(kMaxRepeat) + " copies)");
      }
      options.repeat = static_cast<int>(*repeat);
    } else {
      if (raw) {
        return Failure("--raw given twice");
      }
      raw = true;
      rawCommands = value;
    }
  }

  if (pair) {
    if (raw || window || options.keyGiven || operands.size() != 2) {
      return Failure("--pair takes HOST and the receiver's CODE, and nothing else");
    }
    options.action = Action::kPair;
    options.host = std::string(operands[0]);
    options.keyCode = std::string(operands[1]);
    return ParsedCommandLine{true, options, {}};
  }
  if (operands.empty()) {
    return Failure("missing HOST");
  }
  options.host = std::string(operands[0]);
  if (options.host.empty()) {
    return Failure("empty HOST");
  }
  if (window) {
    if (raw) {
      return Failure("--window and --raw cannot be combined");
    }
    if (operands.size() > 1) {
      return Failure("--window types what you press in its window; unexpected '" + std::string(operands[1]) +
                     "'");
    }
    options.action = Action::kWindow;
    return ParsedCommandLine{true, options, {}};
  }
  if (raw) {
    if (operands.size() > 1) {
      return Failure("--raw sends COMMANDS only; unexpected '" + std::string(operands[1]) + "'");
    }
    options.action = Action::kRaw;
    options.datagram = RawDatagram(rawCommands);
    if (options.datagram.size() > kMaxDatagramBytes) {
      return Failure("--raw datagram is " + std::to_string(options.datagram.size()) +
                     " bytes; the receiver drops datagrams longer than " + std::to_string(kMaxDatagramBytes));
    }
    if (!HoldsKeyCommand(options.datagram)) {
      return Failure("--raw '" + std::string(rawCommands) +
                     "' holds no key command (K or U with three hex digits, k or u with two): it would type "
                     "nothing");
    }
    return ParsedCommandLine{true, options, {}};
  }
  if (operands.size() > 2) {
    return Failure("unexpected '" + std::string(operands[2]) + "' (quote TEXT that holds blanks)");
  }
  if (operands.size() == 2) {
    options.hasText = true;
    options.text = std::string(operands[1]);
  }
  return ParsedCommandLine{true, options, {}};
}

bool HoldsKeyCommand(std::string_view datagram) {
  // As the receiver reads it: after the "?", bytes other than the command letters are skipped, and a line
  // end ends the datagram.
  for (std::size_t i = 1; i < datagram.size(); ++i) {
    const char c = datagram[i];
    if (c == '\r' || c == '\n' || c == '\0') {
      return false;
    }
    if (c == 'K' || c == 'U' || c == 'k' || c == 'u') {
      return true;
    }
  }
  return false;
}

std::string RawDatagram(std::string_view commands) {
  if (!commands.empty() && commands[0] == '?') {
    return std::string(commands);
  }
  std::string datagram;
  datagram.reserve(commands.size() + 1);
  datagram += '?';
  datagram += commands;
  return datagram;
}

std::string UsageText() {
  return "Usage: strokesender [-v] [-p PORT] [-d MS] [-l LAYOUT[:VARIANT]] HOST [TEXT]\n"
         "       strokesender [-p PORT] HOST --raw COMMANDS\n"
         "       strokesender [-p PORT] [-l LAYOUT[:VARIANT]] --window HOST\n"
         "       strokesender --list-layouts\n"
         "       strokesender --pair HOST CODE\n"
         "Type on the machine HOST, where strokerelayd runs, as if on its own keyboard.\n"
         "\n"
         "With TEXT, types TEXT. Without TEXT, types what standard input holds; when standard\n"
         "input is a terminal, sends each key as you press it until you press Ctrl-].\n"
         "\n"
         "  -p, --port PORT       the receiver's UDP port (default 8102)\n"
         "  -d, --delay MS        type one key at a time, MS milliseconds apart, for programs\n"
         "                        that drop fast input (default: text goes many keys to a\n"
         "                        datagram, as fast as the receiver injects them)\n"
         "      --window          open a window; while it has the focus, every key you press\n"
         "                        and release there is pressed and released on HOST, held keys\n"
         "                        are let go when it loses the focus; Ctrl-] or closing it ends\n"
         "  -l, --layout LAYOUT[:VARIANT]\n"
         "                        the receiver's keyboard layout, as XKB names it (default:\n"
         "                        this machine's); text is typed with that layout's keys,\n"
         "                        Shift, AltGr and dead keys. With --window, the layout of\n"
         "                        the keyboard typed on, whose keys are sent as they are\n"
         "                        (default: this machine's, following its switches). Layouts\n"
         "                        with tables of their own: " +
         NamedLayoutList() +
         "; other Latin layouts by\n"
         "                        where their keymap has each letter and digit\n"
         "      --list-layouts    list the layouts and variants -l takes, and exit\n"
         "  -v, --verbose         say on standard error which layout is typed for and where\n"
         "                        that came from\n"
         "      --raw COMMANDS    send COMMANDS as one key command datagram, adding the\n"
         "                        leading \"?\" when it is missing (e.g. K041U041)\n"
         "      --pair HOST CODE  store the pairing code that 'strokerelayd --pair' printed on\n"
         "                        HOST; from then on everything sent to HOST is sealed with it\n"
         "      --key CODE        seal every datagram with the receiver's pairing code CODE\n"
         "                        (wins over a code stored for HOST)\n"
         "      --repeat N        send each sealed datagram N times, " +
         std::to_string(kRepeatGapMs) + " ms apart (default " + std::to_string(kDefaultRepeat) +
         "),\n"
         "                        so a link that drops datagrams loses no keys; the receiver\n"
         "                        types each once, in order\n"
         "  -h, --help            show this help and exit\n"
         "  -V, --version         show the version and exit\n"
         "\n"
         "HOST is an IPv4 address or a host name. Characters the layout cannot type are\n"
         "refused before anything is sent, and so is a CODE that is not a valid pairing code;\n"
         "standard input goes a line at a time as it is read, and a refused character stops\n"
         "it before anything of its line is sent.\n"
         "\n"
         "Exit status: 0 sent; 1 host not found or network error; 2 bad usage or text.\n";
}

std::string VersionText() {
  return "strokesender " SRD_SENDER_VERSION "\n";
}

}  // namespace srd::sender
