// A call of a library opened with dlopen, found by its name and typed as the program calls it.
#pragma once

#include <dlfcn.h>

namespace quillmot {

// Null where the library has no such call.
template <typename Function>
Function library_call(void* library, const char* name) {
  return reinterpret_cast<Function>(dlsym(library, name));
}

// The same, into `call`; false where the library has none.
template <typename Function>
bool find_call(void* library, const char* name, Function* call) {
  *call = library_call<Function>(library, name);
  return *call != nullptr;
}

}  // namespace quillmot
