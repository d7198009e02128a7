#pragma once

#include <cstdint>
#include <string>

#include "platform/keys/key_sink.h"
#include "platform/keys/xtest_key_backend.h"

// How the program and the XTest backend, built as a loadable module, meet: the X libraries are mapped only
// when XTest is chosen.

namespace srd {

// Raised whenever XTestOptions or the KeyBackend interface change.
inline constexpr std::uint32_t kXTestModuleVersion = 1;

// The function the module exports, by this name: connects as XTestKeyBackend::Create does and hands the
// backend to the caller, or returns nullptr with *whyNot set.
using XTestModuleEntry = KeyBackend* (*)(std::uint32_t version, const XTestOptions* options,
                                         std::string* whyNot);
inline constexpr char kXTestModuleEntryName[] = "srd_xtest_module_create_backend";

// The module's file name.
inline constexpr char kXTestModuleFile[] = "strokerelayd-xtest.so";

}  // namespace srd
