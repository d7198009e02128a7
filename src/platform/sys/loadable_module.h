#pragma once

#include <string>
#include <utility>

// The program's own loadable modules: the parts that need a toolkit or the X libraries live in shared objects
// of their own, so that a program that does not use them never maps those libraries. A module is looked for
// next to the executable when that runs from the build tree it was built in, then in the directory an
// installed program's modules go to (fixed when the program is configured: <prefix>/lib/strokerelayd). A
// module file, or the directory it lies in, that belongs to someone other than root or the user running the
// program, or that others can write to, is refused: its code would run with the program's rights.

namespace srd {

class LoadableModule {
 public:
  // Loads `fileName` (for example "strokerelayd-qt.so") from the first place that has it. nullptr with
  // *whyNot set to a phrase ("the module strokerelayd-qt.so is not installed (looked in /a and /b)", "the
  // module /a/strokerelayd-qt.so is refused (its directory /a can be written by users other than its
  // owner)", or the loader's reason) when it cannot be loaded. The module stays mapped for the life of the
  // process: toolkits cannot be unloaded safely.
  static LoadableModule* Load(const std::string& fileName, std::string* whyNot);

  // The address of an exported symbol; nullptr with *whyNot set when the module has none by that name.
  void* Symbol(const char* name, std::string* whyNot) const;

  const std::string& path() const { return path_; }

 private:
  LoadableModule(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  void* handle_;
  std::string path_;
};

// The exported function `symbol` of the module `fileName` (loaded if it is not yet), as a pointer of type
// Entry; nullptr with *whyNot set when the module or the function cannot be had.
template <typename Entry>
Entry LoadModuleEntry(const std::string& fileName, const char* symbol, std::string* whyNot) {
  const LoadableModule* module = LoadableModule::Load(fileName, whyNot);
  return module == nullptr ? nullptr : reinterpret_cast<Entry>(module->Symbol(symbol, whyNot));
}

}  // namespace srd
