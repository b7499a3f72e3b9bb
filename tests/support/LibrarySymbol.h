#pragma once
// A function of a library opened with dlopen, by name, with its type; null when the library has no such symbol.
#include <dlfcn.h>

namespace ktest {

template <class Function>
Function librarySymbol(void* library, const char* name)
{
    return reinterpret_cast<Function>(dlsym(library, name));
}

}  // namespace ktest
