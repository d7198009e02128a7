#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../../support/key_observer.h"
#include "../../support/xvfb_server.h"
#include "platform/x11/xtest_key_backend.h"

namespace srd {

// A private Xvfb with an observer of the key events that reach it.
class XTestKeyBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start()) << "Xvfb did not start";
    observer_ = std::make_unique<KeyObserver>(server_.DisplayName());
    ASSERT_TRUE(observer_->Ready());
  }
  std::unique_ptr<XTestKeyBackend> MakeBackend(XTestOptions options = {}) {
    options.displayName = server_.DisplayName();
    std::string whyNot;
    auto backend = XTestKeyBackend::Create(options, &whyNot);
    EXPECT_NE(backend, nullptr) << whyNot;
    return backend;
  }

  XvfbServer server_;
  std::unique_ptr<KeyObserver> observer_;
};

}  // namespace srd
