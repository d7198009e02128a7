#include "scoped_temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

namespace srd::test {

ScopedTempDir::ScopedTempDir(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
  }
}

ScopedTempDir::~ScopedTempDir() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

}  // namespace srd::test
