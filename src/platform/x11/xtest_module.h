#pragma once

#include <cstdint>
#include <string>

#include "platform/keys/key_sink.h"
#include "platform/keys/repeat_suppression.h"
#include "platform/layout/layout_watch.h"
#include "platform/x11/xtest_key_backend.h"

// How the program and the XTest backend, built as a loadable module, meet: the X libraries are mapped only
// when XTest is chosen.

namespace srd {

// Raised whenever XTestOptions or the KeyBackend interface change.
inline constexpr std::uint32_t kXTestModuleVersion = 5;

// The function the module exports, by this name: connects as XTestKeyBackend::Create does and hands the
// backend to the caller, or returns nullptr with *whyNot set.
using XTestModuleEntry = TranslatingKeyBackend* (*)(std::uint32_t version, const XTestOptions* options,
                                                    std::string* whyNot);
inline constexpr char kXTestModuleEntryName[] = "srd_xtest_module_create_backend";

// The second one: turns off the X server's auto-repeat of the keyboard device named `deviceName` on the
// display `displayName` once the server has added it, for as long as the result lives; nullptr with *whyNot
// set for a module of another version.
using XRepeatSuppressionEntry = RepeatSuppression* (*)(std::uint32_t version, const char* displayName,
                                                       const char* deviceName, std::string* whyNot);
inline constexpr char kXRepeatSuppressionEntryName[] = "srd_xtest_module_suppress_device_repeat";

// The third one: follows the keyboard layout of the display `displayName` as XLayoutWatcher does, reporting
// through *onChange; nullptr when the display cannot be followed (with *whyNot set for a module of another
// version).
using XLayoutWatchEntry = LayoutWatch* (*)(std::uint32_t version, const std::string* displayName,
                                           LayoutChanged* onChange, std::string* whyNot);
inline constexpr char kXLayoutWatchEntryName[] = "srd_xtest_module_watch_layout";

// The fourth one: for a start that injects through uinput, puts right what a killed XTest run left on the
// display `displayName`, as recorded in `recordDirectory` (see PutRightWhatWasLeft); false for a module of
// another version.
using XPutRightEntry = bool (*)(std::uint32_t version, const char* displayName, const char* recordDirectory);
inline constexpr char kXPutRightEntryName[] = "srd_xtest_module_put_right_what_was_left";

// The module's file name.
inline constexpr char kXTestModuleFile[] = "strokerelayd-xtest.so";

}  // namespace srd
