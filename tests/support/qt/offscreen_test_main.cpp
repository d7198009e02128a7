#include <gtest/gtest.h>

#include <cstdlib>

// ctest also runs this binary at build time to list its tests, without the test's environment: the widgets
// go to Qt's offscreen platform unless a platform was asked for.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
