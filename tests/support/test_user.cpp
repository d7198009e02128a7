#include "support/test_user.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace srd::test {

namespace {

constexpr const char* kName = "srdtest";

std::optional<TestUser> Lookup(const char* name) {
  const passwd* entry = getpwnam(name);
  if (entry == nullptr) {
    return std::nullopt;
  }
  return TestUser{entry->pw_uid, entry->pw_gid, entry->pw_name};
}

}  // namespace

std::optional<TestUser> OrdinaryTestUser() {
  if (geteuid() != 0) {
    const passwd* self = getpwuid(geteuid());
    return TestUser{geteuid(), getegid(), self != nullptr ? self->pw_name : ""};
  }
  if (auto user = Lookup(kName)) {
    return user;
  }
  // A system user with no home and no login: it only runs the test's programs.
  const std::string command = std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") +
                              kName + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  if (status != 0 && Lookup(kName) == std::nullopt) {
    return std::nullopt;  // made by a test running at the same time, or not at all
  }
  return Lookup(kName);
}

std::vector<std::string> AsUser(const TestUser& user, std::vector<std::string> command) {
  if (geteuid() != 0) {
    return command;
  }
  std::vector<std::string> full = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user.uid),
                                   "--regid=" + std::to_string(user.gid), "--init-groups", "--"};
  full.insert(full.end(), command.begin(), command.end());
  return full;
}

void BecomeUserInChild(const TestUser& user) {
  if (geteuid() != 0) {
    return;
  }
  if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0) {
    _exit(126);
  }
  prctl(PR_SET_PDEATHSIG, SIGTERM);
}

bool GiveTo(const TestUser& user, const std::string& path) {
  return geteuid() != 0 || chown(path.c_str(), user.uid, user.gid) == 0;
}

}  // namespace srd::test
