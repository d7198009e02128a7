#pragma once

#include <string>

struct _XDisplay;

namespace srd::test {

// A connection of the test's own: finds the program's window and clicks into it as a pointer would.
class Pointer {
 public:
  explicit Pointer(const std::string& display);
  ~Pointer();
  Pointer(const Pointer&) = delete;
  Pointer& operator=(const Pointer&) = delete;

  // The geometry of the top-level window titled "strokerelayd", once it is mapped; false if it never is.
  bool FindWindow();
  // Clicks `button` at a point given in fractions of the window's size.
  void Click(unsigned button, double fx, double fy);

 private:
  bool Look();

  _XDisplay* display_;
  int x_ = 0;
  int y_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace srd::test
