#include "platform/keys/key_backend_choice.h"

#include <cstdlib>
#include <string>

#include "platform/keys/none_key_backend.h"
#include "platform/keys/uinput_key_backend.h"
#include "platform/keys/xtest_key_backend.h"

namespace srd {

std::unique_ptr<KeyBackend> ChooseKeyBackend() {
  return ChooseKeyBackendFrom(kUinputPath, std::getenv("DISPLAY"), stderr);
}

// Standard error stays quiet when keys can be injected: it carries the receiver's diagnostic lines, and the
// chosen backend is no news to a user whose keys arrive. Only the case where nothing can arrive is told.
std::unique_ptr<KeyBackend> ChooseKeyBackendFrom(const char* uinputPath, const char* displayName,
                                                 std::FILE* complaints) {
  // Either sink types the key that the receiver's layout gives each code; on X the display's layout rules
  // (uinput keyboards get the same keymap there), elsewhere the system's keyboard configuration.
  std::string uinputWhyNot;
  if (auto uinput = UinputKeyBackend::Create(MakeSystemUinputKernel(), uinputPath, &uinputWhyNot)) {
    uinput->FollowLayout(ReceiverLayout::Start(displayName));
    return uinput;
  }
  std::string xWhyNot = "DISPLAY is not set";
  if (displayName != nullptr && *displayName != '\0') {
    XTestOptions options;
    options.displayName = displayName;
    if (auto xtest = XTestKeyBackend::Create(options, &xWhyNot)) {
      xtest->FollowLayout(ReceiverLayout::Start(displayName));
      return xtest;
    }
  }
  std::fprintf(
      complaints,
      "strokerelayd: no keys can be injected: %s and %s; install the udev rule and load the uinput module "
      "as the README's Permissions section describes, or run strokerelayd in an X11 session.\n",
      uinputWhyNot.c_str(), xWhyNot.c_str());
  std::fflush(complaints);
  return std::make_unique<NoneKeyBackend>();
}

}  // namespace srd
