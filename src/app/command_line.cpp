#include "app/command_line.h"

#include "app/paired_start.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace srd {

namespace {

constexpr char kUsage[] = "usage: strokerelayd [-p PORT] | --help | --version | --pair | --unpair\n";

constexpr char kHelp[] =
    "Types on this machine what a remote sender sends over UDP.\n"
    "\n"
    "strokerelayd listens on UDP port 8102 (or the one given with -p; changeable in its Settings\n"
    "dialog until it ends, never stored) and injects the keys that each datagram describes into\n"
    "the focused window, through a uinput virtual keyboard or XTest. It shows a small window\n"
    "when a display is reachable and runs without one otherwise.\n"
    "\n"
    "  -p, --port PORT  listen on PORT (1-65535) instead of 8102\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and exit\n"
    "      --pair       make this receiver's key if it has none, print its pairing code\n"
    "                   (last line) and exit; from then on only datagrams sealed with\n"
    "                   the key are typed: give the code to 'strokesender --pair HOST CODE'\n"
    "      --unpair     remove the key and exit: the receiver types what anyone sends again\n"
    "\n"
    "The key is kept in $XDG_CONFIG_HOME/strokerelayd/key (~/.config/strokerelayd/key).\n"
    "Stop it with its Exit command, by closing its window, or with SIGINT, SIGTERM or SIGHUP.\n"
    "See strokerelayd(1).\n";

bool IsHelp(std::string_view arg) {
  return arg == "-h" || arg == "--help";
}

bool IsVersion(std::string_view arg) {
  return arg == "-V" || arg == "--version";
}

// A port as the command line gives it: decimal digits only, 1 to 65535.
std::optional<std::int32_t> PortArgument(std::string_view text) {
  if (text.empty() || text.size() > 5) {
    return std::nullopt;
  }
  std::int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) {
    return std::nullopt;
  }
  return value;
}

int Refuse(const char* format, const char* what) {
  std::fprintf(stderr, format, what);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv, StartChoices& choices) {
  if (argc == 2 && IsHelp(argv[1])) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && IsVersion(argv[1])) {
    std::fputs("strokerelayd " SRD_VERSION "\n", stdout);
    return 0;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--pair") {
    return PairCommand();
  }
  if (argc == 2 && std::string_view(argv[1]) == "--unpair") {
    return UnpairCommand();
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string_view value;
    const bool command = IsHelp(arg) || IsVersion(arg) || arg == "--pair" || arg == "--unpair";
    if (arg == "-p" || arg == "--port") {
      if (i + 1 >= argc) {
        return Refuse("strokerelayd: %s needs a port number\n", argv[i]);
      }
      value = argv[++i];
    } else if (arg.starts_with("--port=")) {
      value = arg.substr(7);
    } else if (command && i + 1 < argc) {
      // A question or command followed by more: the first word past it is the one not understood.
      return Refuse("strokerelayd: unexpected argument '%s'\n", argv[i + 1]);
    } else {
      // A question or command after a port, or a word not understood.
      return Refuse("strokerelayd: unexpected argument '%s'\n", argv[i]);
    }
    const std::optional<std::int32_t> port = PortArgument(value);
    if (!port) {
      const std::string shown(value);
      return Refuse("strokerelayd: the port must be a number from 1 to 65535, not '%s'\n", shown.c_str());
    }
    choices.port = port;
  }
  return std::nullopt;
}

}  // namespace srd
