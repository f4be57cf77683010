#include "platform/lazy/lazy_library.h"

#include <dlfcn.h>

#include <cstring>

namespace tsumugi {

LazyLibrary::LazyLibrary(std::initializer_list<const char*> names,
                         std::initializer_list<const char*> functions)
    : names_(names), function_names_(functions) {}

LazyLibrary::~LazyLibrary() {
  // Kept open to the end: another thread of the library (a synthesizer's)
  // may still be on its way out, and the process is ending anyway.
}

bool LazyLibrary::Load() {
  std::call_once(tried_, [this] { Open(); });
  return handle_ != nullptr;
}

void LazyLibrary::Open() {
  for (const char* name : names_) {
    handle_ = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle_ != nullptr) break;
  }
  if (handle_ == nullptr) {
    error_ = std::string("cannot load ") + names_.front() + ": " + dlerror();
    return;
  }
  for (const char* name : function_names_) {
    void* function = dlsym(handle_, name);
    if (function == nullptr) {
      error_ = std::string(names_.front()) + " has no " + name;
      handle_ = nullptr;
      functions_.clear();
      return;
    }
    functions_.push_back(function);
  }
}

void* LazyLibrary::Function(const char* name) const {
  for (size_t i = 0; i < function_names_.size(); ++i) {
    if (std::strcmp(function_names_[i], name) == 0) return functions_[i];
  }
  return nullptr;
}

}  // namespace tsumugi
