#pragma once

#include <string>

namespace srd::test {

// A fresh directory under /tmp for one test (instance locks, runtime directories, files), removed with
// everything in it when the object goes. Path() is empty if it could not be made.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const char* prefix = "srd-test");
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace srd::test
