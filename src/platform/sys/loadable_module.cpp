#include "platform/sys/loadable_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <memory>
#include <mutex>

namespace srd {

namespace {

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) {
    return std::string();
  }
  std::string path(buffer, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string Joined(const std::string& directory, const std::string& name) {
  return directory.empty() || directory.back() == '/' ? directory + name : directory + "/" + name;
}

// Where an installed program's modules are: ../lib/strokerelayd from the executable's directory.
std::string InstalledModuleDirectory() {
  const std::string bin = ExecutableDirectory();
  const std::size_t slash = bin.rfind('/');
  const std::string prefix = slash == std::string::npos ? std::string() : bin.substr(0, slash);
  return prefix + "/lib/strokerelayd";
}

}  // namespace

LoadableModule* LoadableModule::Load(const std::string& fileName, std::string* whyNot) {
  // Loaded once per process, whoever asks: a second dlopen would only count the same mapping up.
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<LoadableModule>> loaded;
  const std::lock_guard lock(mutex);
  if (auto it = loaded.find(fileName); it != loaded.end()) {
    return it->second.get();
  }
  const std::string places[] = {ExecutableDirectory(), InstalledModuleDirectory()};
  for (const std::string& directory : places) {
    const std::string path = Joined(directory, fileName);
    if (access(path.c_str(), F_OK) != 0) {
      continue;
    }
    // RTLD_LOCAL: the module's own symbols and those of its toolkit stay out of the program's name space.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* error = dlerror();
      *whyNot =
          "the module " + path + " cannot be loaded (" + (error != nullptr ? error : "unknown error") + ")";
      return nullptr;
    }
    // The record goes at exit; the mapping stays until the process ends (no dlclose).
    auto& module = loaded[fileName];
    module.reset(new LoadableModule(handle, path));
    return module.get();
  }
  *whyNot =
      "the module " + fileName + " is not installed (looked in " + places[0] + " and " + places[1] + ")";
  return nullptr;
}

void* LoadableModule::Symbol(const char* name, std::string* whyNot) const {
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) {
    *whyNot = "the module " + path_ + " has no entry point " + name;
  }
  return address;
}

}  // namespace srd
