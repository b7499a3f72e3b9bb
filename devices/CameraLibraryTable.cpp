#include "devices/CameraLibraryTable.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>

#include "devices/iLog.h"

std::wstring cameraListOption;

namespace {

void warn(iLog* log, const char* kind, const char* description)
{
    if (log)
        log->printf("[Warning]: failed get list available %s's \n Error description: %s", kind, description);
}

void releaseAtExit()
{
    CameraLibraryTable::release();
}

}  // namespace

void CameraLibraryEntry::listAvailableCameras(std::vector<CameraDescriptor>& out, iLog* log)
{
    boost::lock_guard<boost::mutex> lock(mutex);
    try {
        loadCameraNames();
        for (const std::string& name : names) {
            const std::size_t hash = name.find('#');
            out.push_back(CameraDescriptor{kind, hash == std::string::npos ? name : name.substr(hash + 1), name});
        }
    } catch (const std::exception& e) {
        warn(log, kind, e.what());
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        warn(log, kind, "unknown exception");
    }
}

void CameraLibraryEntry::loadCameraNames()
{
    listed = false;
    names.clear();
    if (!library) {
        library.reset(new CameraLibrary(fileName));
        // Registered after the library's own globals, so it runs before they are destroyed at exit.
        std::atexit(releaseAtExit);
    }
    library->availableCameras(&names, &cameraListOption);
    listed = true;
}

void CameraLibraryEntry::release()
{
    boost::lock_guard<boost::mutex> lock(mutex);
    library.reset();
}

std::array<CameraLibraryEntry, CameraLibraryTable::size>& CameraLibraryTable::rows()
{
    static std::array<CameraLibraryEntry, size> table{{
        {"pgGrabber.dll", "Pg grabber"},
        {"lmGrabber.dll", "Lumenera camera"},
        {"clipGrabber.dll", "Avi file"},
    }};
    return table;
}

void CameraLibraryTable::release()
{
    auto& table = rows();
    for (auto row = table.rbegin(); row != table.rend(); ++row)
        row->release();
}

void listCamerasOfKinds(const std::vector<std::string>& kinds, std::vector<CameraDescriptor>& out,
                        const std::wstring& option)
{
    out.clear();
    cameraListOption = option;
    for (CameraLibraryEntry& row : CameraLibraryTable::rows())
        if (std::find(kinds.begin(), kinds.end(), row.kind) != kinds.end())
            row.listAvailableCameras(out, nullptr);
}
