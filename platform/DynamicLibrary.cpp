#include "platform/DynamicLibrary.h"

#include <cerrno>
#include <climits>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/SystemError.h"

namespace platform {

std::string executableFolder()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return std::string();
    const std::string path(buffer, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string DynamicLibrary::platformFileName(const std::string& fileName)
{
    const std::string extension = ".dll";
    if (fileName.size() <= extension.size() || fileName.find('/') != std::string::npos)
        return fileName;
    std::string tail = fileName.substr(fileName.size() - extension.size());
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (tail != extension)
        return fileName;
    return "lib" + fileName.substr(0, fileName.size() - extension.size()) + ".so";
}

DynamicLibrary::~DynamicLibrary()
{
    close();
}

void DynamicLibrary::fail()
{
    errorCode_ = lastSystemError();
    const char* text = dlerror();
    errorText_ = text ? text : "";
}

bool DynamicLibrary::open(const std::string& fileName)
{
    close();
    const std::string name = platformFileName(fileName);
    std::string candidate = name;
    if (name.find('/') == std::string::npos) {
        const std::string folder = executableFolder();
        struct stat info;
        if (!folder.empty() && stat((folder + "/" + name).c_str(), &info) == 0)
            candidate = folder + "/" + name;
    }
    errno = 0;
    dlerror();
    handle_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        fail();
        return false;
    }
    path_ = candidate;
    return true;
}

void* DynamicLibrary::symbol(const char* name)
{
    if (!handle_) {
        errorCode_ = EBADF;
        errorText_ = "library not loaded";
        return nullptr;
    }
    errno = 0;
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address)
        fail();
    return address;
}

void DynamicLibrary::close()
{
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

}  // namespace platform
