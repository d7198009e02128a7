#include "server_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace srd::test {

pid_t StartServerChild(std::vector<std::string> args, const std::function<void()>& inChild) {
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
      _exit(127);  // the test went before the death signal was set
    }
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(devNull, 1);
    inChild();
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace srd::test
