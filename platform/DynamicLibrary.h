#pragma once
// Loading shared libraries by their Windows file name: "X.dll" is looked up as "libX.so", first in the folder of
// the running executable, then by the default search of the dynamic loader.
#include <string>

namespace platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary();  // unloads

    // "X.dll" (any case of the extension) gives "libX.so"; other names stay as they are.
    static std::string platformFileName(const std::string& fileName);

    // False on failure; errorCode() and errorText() then tell why.
    bool open(const std::string& fileName);
    bool isOpen() const { return handle_ != nullptr; }
    // The exported symbol, or null (errorCode() and errorText() tell why).
    void* symbol(const char* name);
    void close();

    unsigned long errorCode() const { return errorCode_; }  // the system error number of the last failure
    const std::string& errorText() const { return errorText_; }
    const std::string& path() const { return path_; }  // what was loaded

private:
    void fail();

    void* handle_ = nullptr;
    std::string path_;
    unsigned long errorCode_ = 0;
    std::string errorText_;
};

// Folder of the running executable, without a trailing separator; empty when unknown.
std::string executableFolder();

}  // namespace platform
