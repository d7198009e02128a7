// The XTest backend as a loadable module: its one entry point.

#include "platform/keys/xtest_module.h"

extern "C" __attribute__((visibility("default"))) srd::KeyBackend* srd_xtest_module_create_backend(
    std::uint32_t version, const srd::XTestOptions* options, std::string* whyNot) {
  if (version != srd::kXTestModuleVersion || options == nullptr) {
    *whyNot = "the XTest module was built for another version of strokerelayd";
    return nullptr;
  }
  return srd::XTestKeyBackend::Create(*options, whyNot).release();
}
