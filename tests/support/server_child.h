#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace srd::test {

// Starts a test's private server (Xvfb, weston): a child that dies with the test even when the test is killed
// or crashes, with standard input and output on /dev/null. `inChild` runs in the child before the exec, to
// set its environment and descriptors. The child's process id, or -1.
pid_t StartServerChild(std::vector<std::string> args, const std::function<void()>& inChild);

}  // namespace srd::test
