#include "xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "server_child.h"

namespace srd {

bool XvfbServer::Start(int displayNumber) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    return false;
  }
  std::vector<std::string> args = {"Xvfb"};
  if (displayNumber >= 0) {
    args.push_back(":" + std::to_string(displayNumber));
  }
  for (const char* arg : {"-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24"}) {
    args.emplace_back(arg);
  }
  pid_ = test::StartServerChild(args, [&] {
    // Xvfb writes its display number to fd 3 once it accepts connections.
    dup2(fds[1], 3);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 2);
  });
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return false;
  }
  std::string number;
  char c = 0;
  pollfd pfd{fds[0], POLLIN, 0};
  // Generous: a loaded machine can take seconds to bring a server up.
  while (poll(&pfd, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) {
    Stop();
    return false;
  }
  number_ = std::stoi(number);
  return true;
}

void XvfbServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

}  // namespace srd
