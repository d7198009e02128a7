// The XTest backend as a loadable module: its entry points.

#include "platform/x11/xtest_module.h"

#include "platform/x11/device_repeat_watch.h"
#include "platform/x11/display_changes.h"
#include "platform/x11/layout_watcher.h"

extern "C" __attribute__((visibility("default"))) srd::TranslatingKeyBackend* srd_xtest_module_create_backend(
    std::uint32_t version, const srd::XTestOptions* options, std::string* whyNot) {
  if (version != srd::kXTestModuleVersion || options == nullptr) {
    *whyNot = "the XTest module was built for another version of strokerelayd";
    return nullptr;
  }
  return srd::XTestKeyBackend::Create(*options, whyNot).release();
}

extern "C" __attribute__((visibility("default"))) srd::RepeatSuppression*
srd_xtest_module_suppress_device_repeat(std::uint32_t version, const char* displayName,
                                        const char* deviceName, std::string* whyNot) {
  if (version != srd::kXTestModuleVersion || displayName == nullptr || deviceName == nullptr) {
    *whyNot = "the XTest module was built for another version of strokerelayd";
    return nullptr;
  }
  return new srd::XDeviceRepeatWatch(displayName, deviceName);
}

extern "C" __attribute__((visibility("default"))) srd::LayoutWatch* srd_xtest_module_watch_layout(
    std::uint32_t version, const std::string* displayName, srd::LayoutChanged* onChange,
    std::string* whyNot) {
  if (version != srd::kXTestModuleVersion || displayName == nullptr || onChange == nullptr) {
    *whyNot = "the XTest module was built for another version of strokerelayd";
    return nullptr;
  }
  return srd::XLayoutWatcher::Start(*displayName, std::move(*onChange)).release();
}

extern "C" __attribute__((visibility("default"))) bool srd_xtest_module_put_right_what_was_left(
    std::uint32_t version, const char* displayName, const char* recordDirectory) {
  if (version != srd::kXTestModuleVersion || displayName == nullptr || recordDirectory == nullptr) {
    return false;
  }
  srd::PutRightWhatWasLeft(displayName, recordDirectory);
  return true;
}
