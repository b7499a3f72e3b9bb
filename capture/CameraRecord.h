#pragma once
// The per-scanner record that both camera libraries keep in their global map from handle to record, and the map
// operations they share. Camera is the library's camera class, Parameters its parameter record; each library
// derives its own record from CameraRecordFields and adds its fields (frame buffers, events, rotation).
// The record does not delete its cameras itself: eraseCameraRecord and clearCameraRecords do.
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "capture/cwErrorTexts.h"
#include "capture/cwInterface.h"
#include "capture/niImage.h"

namespace capture {

template <class Camera, class Parameters>
struct CameraRecordFields {
    using CameraType = Camera;

    CameraRecordFields() = default;
    explicit CameraRecordFields(const Parameters& initial) : strobeOffParameters(initial), strobeOnParameters(initial) {}

    Parameters strobeOffParameters{};
    Parameters strobeOnParameters{};
    Camera* mainCamera = nullptr;  // its address is the handle
    std::string mainCameraId;
    bool mirrorX = false;
    bool mirrorY = false;
    Camera* textureCamera = nullptr;  // may be the main camera itself
    std::string textureCameraId;
    bool textureMirrorX = false;
    bool textureMirrorY = false;
};

template <class Record>
using CameraMap = std::map<cwHandle, Record>;

template <class Camera>
cwHandle handleOf(const Camera* camera)
{
    return reinterpret_cast<cwHandle>(camera);
}

// The record whose mainCameraId equals id, or map.end().
template <class Record>
typename CameraMap<Record>::iterator findCameraRecordById(CameraMap<Record>& map, const std::string& id)
{
    for (auto it = map.begin(); it != map.end(); ++it)
        if (it->second.mainCameraId == id)
            return it;
    return map.end();
}

template <class Record>
void deleteCameras(Record& record) noexcept
{
    if (record.textureCamera && record.textureCamera != record.mainCamera)
        delete record.textureCamera;
    delete record.mainCamera;
    record.textureCamera = nullptr;
    record.mainCamera = nullptr;
}

// Deletes the record's cameras (each object once) and removes it; false when the handle is unknown.
template <class Record>
bool eraseCameraRecord(CameraMap<Record>& map, cwHandle handle) noexcept
{
    const auto it = map.find(handle);
    if (it == map.end())
        return false;
    deleteCameras(it->second);
    map.erase(it);
    return true;
}

template <class Record>
void clearCameraRecords(CameraMap<Record>& map) noexcept
{
    for (auto& entry : map)
        deleteCameras(entry.second);
    map.clear();
}

// Enters a record for a new main camera: makeMain(mainId) constructs it (an exception passes on and nothing is
// entered). With a non-empty textureId and useTexture, makeTexture(textureId) constructs the texture camera; when
// that throws, the record is erased again (a failed initialisation leaves no record) and the exception passes on.
template <class Record, class MakeMain, class MakeTexture>
Record& createCameraRecord(CameraMap<Record>& map, const std::string& mainId, const std::string& textureId,
                           bool useTexture, MakeMain makeMain, MakeTexture makeTexture)
{
    typename Record::CameraType* camera = makeMain(mainId);
    const cwHandle handle = handleOf(camera);
    typename CameraMap<Record>::iterator it;
    try {
        it = map.try_emplace(handle).first;
    } catch (...) {
        delete camera;
        throw;
    }
    Record& record = it->second;
    record.mainCamera = camera;
    record.mainCameraId = mainId;
    if (!textureId.empty() && useTexture) {
        record.textureCameraId = textureId;
        try {
            record.textureCamera = makeTexture(textureId);
        } catch (...) {
            eraseCameraRecord(map, handle);
            throw;
        }
    }
    return record;
}

// The record of handle, or the form's not-initialised error (Texture: also when the record has no texture camera).
template <class Record>
Record& lookupCameraRecord(CameraMap<Record>& map, cwHandle handle, LookupForm form, const char* name)
{
    const auto it = map.find(handle);
    if (it == map.end())
        throwNotInitialized(form, name);
    if (form == LookupForm::Texture && !it->second.textureCamera)
        throw std::runtime_error(textureCameraNotInitializedText);
    return it->second;
}

// The mirror flags of a delivered frame: rows top to bottom first, then pixels within rows.
inline void applyMirrorFlags(niTypes::niImage<unsigned char>& frame, bool mirrorX, bool mirrorY)
{
    if (mirrorX)
        frame.mirror(0);
    if (mirrorY)
        frame.mirror(1);
}

}  // namespace capture
