#include "platform/sys/loadable_module.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace srd {

namespace {

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length <= 0 ? std::string() : DirectoryOf(std::string(buffer, static_cast<std::size_t>(length)));
}

std::string Joined(const std::string& directory, const std::string& name) {
  return directory.empty() || directory.back() == '/' ? directory + name : directory + "/" + name;
}

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    return std::string();
  }
  std::string out(resolved);
  std::free(resolved);
  return out;
}

// True when `directory` is the build tree or lies inside it.
bool InBuildTree(const std::string& directory) {
  const std::string tree = RealPath(SRD_BUILD_TREE);
  return !tree.empty() && !directory.empty() &&
         (directory == tree || directory.compare(0, tree.size() + 1, tree + "/") == 0);
}

// The places a module may come from, in order: the executable's own directory when it runs from the build
// tree it was built in, and the directory an installed program's modules were put in. Never a place derived
// from where a copy of the program happens to be: that may be a directory another user can write to.
std::vector<std::string> ModuleDirectories() {
  std::vector<std::string> places;
  const std::string executable = ExecutableDirectory();
  if (InBuildTree(executable)) {
    places.push_back(executable);
  }
  places.emplace_back(SRD_INSTALLED_MODULE_DIR);
  return places;
}

// Why code from `path` (the module, or its directory) must not run in this process, or empty when it may: it
// must belong to root or to the user running the program, and nobody else may write to it.
std::string Refusal(const std::string& what, const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return what + " cannot be examined";
  }
  if (info.st_uid != 0 && info.st_uid != geteuid()) {
    return what + " belongs to user " + std::to_string(info.st_uid) +
           ", neither root nor the user running it";
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return what + " can be written by users other than its owner";
  }
  return std::string();
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
  const std::vector<std::string> places = ModuleDirectories();
  for (const std::string& directory : places) {
    const std::string named = Joined(directory, fileName);
    if (access(named.c_str(), F_OK) != 0) {
      continue;
    }
    // What is checked is what is loaded: the file itself and the directory it really lies in, whatever
    // symbolic links lead there.
    const std::string path = RealPath(named);
    std::string refusal = path.empty() ? "it cannot be resolved" : Refusal("its file", path);
    if (refusal.empty()) {
      refusal = Refusal("its directory " + DirectoryOf(path), DirectoryOf(path));
    }
    if (!refusal.empty()) {
      *whyNot = "the module " + named + " is refused (" + refusal + ")";
      return nullptr;
    }
    // RTLD_LOCAL: the module's own symbols and those of its toolkit stay out of the program's name space.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* error = dlerror();
      *whyNot =
          "the module " + named + " cannot be loaded (" + (error != nullptr ? error : "unknown error") + ")";
      return nullptr;
    }
    // The record goes at exit; the mapping stays until the process ends (no dlclose).
    auto& module = loaded[fileName];
    module.reset(new LoadableModule(handle, named));
    return module.get();
  }
  std::string looked = places.front();
  for (std::size_t i = 1; i < places.size(); ++i) {
    looked += " and " + places[i];
  }
  *whyNot = "the module " + fileName + " is not installed (looked in " + looked + ")";
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
