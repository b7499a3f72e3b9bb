// The library's statics in the order they are built at load; they are destroyed in reverse order at unload,
// after the library state has released every camera and the bus manager.
#include "capture/pggrabber/pgBus.h"
#include "capture/pggrabber/pgCameraRecord.h"

boost::mutex busMutex;
FlyCapture2::BusManager* busManager = nullptr;
capture::CameraMap<pgCameraRecord> cameraMap;

namespace {

struct LibraryState {
    ~LibraryState()
    {
        capture::clearCameraRecords(cameraMap);
        releaseBusManager();
    }
} libraryState;

}  // namespace
