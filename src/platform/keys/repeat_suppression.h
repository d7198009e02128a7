#pragma once

namespace srd {

// Whatever keeps a desktop from auto-repeating the keys of the uinput sink's virtual keyboard, for as long as
// it lives (the X server's repeat switch for that device). Made by the XTest module, which has the X
// libraries; the uinput sink, which needs none, only owns it.
class RepeatSuppression {
 public:
  virtual ~RepeatSuppression() = default;
};

}  // namespace srd
