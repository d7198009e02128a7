#include "platform/choice/ui_backend_choice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace srd {
namespace {

// A DISPLAY whose server does not answer (a session that went away) must not end the program: Qt's X
// platform would abort it. The program then runs without a window. Its own process, since no Qt
// application object may exist yet.
TEST(UiBackendChoiceTest, UnansweredDisplayFallsBackToRunningWithoutWindows) {
  int number = 90;
  while (access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0) {
    ++number;
  }
  setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("QT_QPA_PLATFORM");
  const std::unique_ptr<UiBackend> backend = CreateUiBackend();
  ASSERT_NE(backend, nullptr);
  EXPECT_STREQ(backend->Name(), "headless");
}

}  // namespace
}  // namespace srd
