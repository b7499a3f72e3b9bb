// A stand-in camera library. cwAvailableCameras lists the names in KESTRUNE_TEST_CAMERAS_<stem> (";"-separated,
// <stem> being this file's name without "lib" and ".so"), or throws, depending on the build variant (one
// variant lacks cwAvailableCameras, one cwDeinitialize);
// cwDeinitialize and the unloading of the library's globals append lines to KESTRUNE_TEST_CAMERA_LOG.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "capture/cwInterface.h"

namespace {

std::string ownStem()
{
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&ownStem), &info) || !info.dli_fname)
        return "unknown";
    std::string name = info.dli_fname;
    name = name.substr(name.rfind('/') + 1);
    if (name.compare(0, 3, "lib") == 0)
        name = name.substr(3);
    const std::size_t dot = name.find(".so");
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void appendLog(const std::string& line)
{
    const char* path = std::getenv("KESTRUNE_TEST_CAMERA_LOG");
    if (!path)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

struct ModuleState {
    ModuleState() : stem(ownStem()) {}
    ~ModuleState()
    {
        appendLog(stem + " unloaded");
        alive = false;
    }
    std::string stem;
    bool alive = true;
} state;

}  // namespace

#ifndef TEST_CAMERA_NOEXPORT
CW_API int cwAvailableCameras(std::vector<std::string>* names, const std::wstring* /*option*/)
{
#if defined(TEST_CAMERA_THROWSTD)
    names->push_back("half-filled");
    throw std::runtime_error("camera bus failed");
#elif defined(TEST_CAMERA_THROWOTHER)
    throw 42;
#endif
    names->clear();
    const char* list = std::getenv(("KESTRUNE_TEST_CAMERAS_" + state.stem).c_str());
    std::string rest = list ? list : "";
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        names->push_back(rest.substr(0, semicolon));
        rest = semicolon == std::string::npos ? std::string() : rest.substr(semicolon + 1);
    }
    return static_cast<int>(names->size());
}
#endif

#ifndef TEST_CAMERA_NODEINIT
CW_API void cwDeinitialize(cwHandle handle)
{
    appendLog(state.stem + " cwDeinitialize " + std::to_string(handle) + (state.alive ? " alive" : " dead"));
}
#endif
