#pragma once
// Helpers of the camera tests over the simulated bus.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/flycapture2/FlyCapture2Sim.h"

namespace pgtest {

// The calls logged for serial that begin with prefix.
inline std::vector<std::string> callsStartingWith(unsigned int serial, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& call : fc2sim::calls(serial))
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    return found;
}

inline int countCalls(unsigned int serial, const std::string& prefix)
{
    return static_cast<int>(callsStartingWith(serial, prefix).size());
}

// A frame of rows x cols one-byte pixels whose every byte is value, last row included.
inline std::vector<unsigned char> flatFrame(unsigned int rows, unsigned int cols, unsigned char value)
{
    return std::vector<unsigned char>(size_t(rows) * cols, value);
}

}  // namespace pgtest
