#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "support/program_process.h"
#include "support/scoped_temp_dir.h"
#include "support/wait_until.h"

namespace srd::test {

// A session bus of the test's own, with nothing on it yet.
class PrivateSessionBus {
 public:
  PrivateSessionBus()
      : address_("unix:path=" + dir_.Path() + "/bus"), daemon_([&] {
          ProgramOptions options("/usr/bin/dbus-daemon");
          options.arguments = {"--session", "--nofork", "--address=" + address_};
          return options;
        }()) {}
  bool Ready() const {
    return WaitUntil([&] { return std::filesystem::exists(dir_.Path() + "/bus"); }, std::chrono::seconds(30));
  }
  const std::string& Address() const { return address_; }

 private:
  ScopedTempDir dir_{"srd-bus"};
  std::string address_;
  ProgramProcess daemon_;
};

}  // namespace srd::test
