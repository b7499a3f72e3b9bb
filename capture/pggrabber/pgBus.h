#pragma once
// The library's one bus manager and the mutex that serialises every use of it.
#include <boost/thread/mutex.hpp>

#include "platform/flycapture2/FlyCapture2.h"

extern boost::mutex busMutex;
extern FlyCapture2::BusManager* busManager;

// Under busMutex: the bus manager, made when there is none.
FlyCapture2::BusManager& ensureBusManager();
// Under busMutex: deletes the bus manager; the next bus call makes a new one.
void releaseBusManager() noexcept;
