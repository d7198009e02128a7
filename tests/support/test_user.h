#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace srd::test {

// An ordinary user for the programs a test starts that refuse to run as root (sway) or must show that no
// root is needed: the test's own user when it is not root, else "srdtest", made here when it is missing.
struct TestUser {
  uid_t uid;
  gid_t gid;
  std::string name;
};

// nullopt when running as root and the user cannot be made.
std::optional<TestUser> OrdinaryTestUser();

// `command` run as `user`: prefixed with setpriv when the test runs as root, unchanged otherwise.
std::vector<std::string> AsUser(const TestUser& user, std::vector<std::string> command);

// In a child about to exec a server (StartServerChild's inChild): becomes `user` when running as root, and
// keeps dying with the test, which a change of user would otherwise undo. Exits the child when it cannot.
void BecomeUserInChild(const TestUser& user);

// Gives a file or directory the test made to `user` (a runtime directory, a recording file); false on
// failure.
bool GiveTo(const TestUser& user, const std::string& path);

}  // namespace srd::test
