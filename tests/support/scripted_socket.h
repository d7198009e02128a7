#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "support/scoped_temp_dir.h"

namespace srd::test {

// A Unix socket of a test whose every connection is played by `script` (given the client and the connection's
// number); a script that waits calls Silence(), which ends when the stand-in goes.
class ScriptedSocket {
 public:
  using Script = std::function<void(ScriptedSocket&, int client, int connection)>;
  explicit ScriptedSocket(Script script, int backlog = 8) : path_(dir_.Path() + "/socket") {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(listener_, backlog);
    if (!script) {
      return;  // a listener that never accepts
    }
    thread_ = std::thread([this, script] {
      for (int connection = 0;; ++connection) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) {
          return;
        }
        script(*this, client, connection);
        close(client);
      }
    });
  }
  ~ScriptedSocket() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    stop_.notify_all();
    shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) {
      thread_.join();
    }
    close(listener_);
  }
  const std::string& Path() const { return path_; }
  void Silence() {
    std::unique_lock lock(mutex_);
    stop_.wait(lock, [this] { return stopping_; });
  }
  bool Sleep(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    return !stop_.wait_for(lock, time, [this] { return stopping_; });
  }

 private:
  ScopedTempDir dir_{"srd-socket"};
  std::string path_;
  int listener_ = -1;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace srd::test
