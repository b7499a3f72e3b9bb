#pragma once
// The fixed table of camera libraries, each loaded the first time cameras of its kind are wanted.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>

#include "devices/CameraDescriptor.h"
#include "devices/CameraLibrary.h"

class iLog;

// One row of the table.
class CameraLibraryEntry {
public:
    CameraLibraryEntry(const char* fileName, const char* kind) : fileName(fileName), kind(kind) {}
    CameraLibraryEntry(const CameraLibraryEntry&) = delete;
    CameraLibraryEntry& operator=(const CameraLibraryEntry&) = delete;

    // Appends a descriptor per camera of this row's library. Failures (no library, no export, anything the
    // library throws) end this row's listing only; with a logger they are reported as a warning.
    void listAvailableCameras(std::vector<CameraDescriptor>& out, iLog* log);
    // Loads the library when needed and replaces names with its cameras; throws on failure.
    void loadCameraNames();
    // Releases and unloads the library; the next listing loads it again.
    void release();

    const char* const fileName;
    const char* const kind;
    std::vector<std::string> names;
    bool listed = false;
    boost::mutex mutex;  // held for the whole of a listing
    std::unique_ptr<CameraLibrary> library;
};

class CameraLibraryTable {
public:
    static constexpr std::size_t size = 3;
    // "pgGrabber.dll" "Pg grabber", "lmGrabber.dll" "Lumenera camera", "clipGrabber.dll" "Avi file".
    static std::array<CameraLibraryEntry, size>& rows();
    // Releases every loaded library, last row first. The program calls it before main returns: the loaded
    // libraries' own globals are destroyed at exit before the table would be. It also runs at exit when a
    // library was loaded and nobody released it.
    static void release();
};

// The option text passed to every cwAvailableCameras call.
extern std::wstring cameraListOption;

// Empties out, then lists each table row whose kind is wanted, in table order, once.
void listCamerasOfKinds(const std::vector<std::string>& kinds, std::vector<CameraDescriptor>& out,
                        const std::wstring& option);
