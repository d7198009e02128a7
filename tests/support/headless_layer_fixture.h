#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/headless_ui_backend.h"
#include "platform/ui/window_layer.h"
#include "scoped_temp_dir.h"

namespace srd::test {

// The window layer on the headless backend, with an instance directory of the test's own so that no real
// running instance is ever met. Derived fixtures call these from their own SetUp and TearDown.
class HeadlessLayerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(directory_.Path().empty());
    auto backend = std::make_unique<HeadlessUiBackend>();
    backend_ = backend.get();
    ASSERT_TRUE(InitWindowLayer(std::move(backend)));
    SetInstanceDirectory(directory_.Path());
  }
  void TearDown() override { ShutdownWindowLayer(); }

  const std::string& InstanceDir() const { return directory_.Path(); }

  HeadlessUiBackend* backend_ = nullptr;

 private:
  ScopedTempDir directory_{"srd-ui"};
};

}  // namespace srd::test
