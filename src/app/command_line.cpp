#include "app/command_line.h"

#include "app/paired_start.h"

#include <cstdio>
#include <string_view>

namespace srd {

namespace {

constexpr char kUsage[] = "usage: strokerelayd [--help | --version | --pair | --unpair]\n";

constexpr char kHelp[] =
    "Types on this machine what a remote sender sends over UDP.\n"
    "\n"
    "strokerelayd listens on UDP port 8102 (changeable in its Settings dialog until it ends)\n"
    "and injects the keys that each datagram describes into the focused window, through a\n"
    "uinput virtual keyboard or XTest. It shows a small window when a display is reachable\n"
    "and runs without one otherwise.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "      --pair     make this receiver's key if it has none, print its pairing code\n"
    "                 (last line) and exit; from then on only datagrams sealed with\n"
    "                 the key are typed: give the code to 'strokesender --pair HOST CODE'\n"
    "      --unpair   remove the key and exit: the receiver types what anyone sends again\n"
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

}  // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv) {
  if (argc <= 1) {
    return std::nullopt;
  }
  const std::string_view arg = argv[1];
  if (argc == 2 && IsHelp(arg)) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && arg == "--pair") {
    return PairCommand();
  }
  if (argc == 2 && arg == "--unpair") {
    return UnpairCommand();
  }
  if (argc == 2 && IsVersion(arg)) {
    std::fputs("strokerelayd " SRD_VERSION "\n", stdout);
    return 0;
  }
  // A question followed by more: the first word past it is the one not understood.
  const bool known = IsHelp(arg) || IsVersion(arg) || arg == "--pair" || arg == "--unpair";
  const char* refused = known ? argv[2] : argv[1];
  std::fprintf(stderr, "strokerelayd: unexpected argument '%s'\n%s", refused, kUsage);
  return 2;
}

}  // namespace srd
