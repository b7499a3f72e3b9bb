#pragma once
#include <string>

// A connected or stored scanner that is not in the account list.
struct HardwareItem {
    std::string serial;
    int belongsTo = 0;         // 0 = owned, 1 = rented or known only from its stored description
    int calibrationState = 0;  // 0 = not compared, 1 = a different revision is offered, 2 = current or unknown
};
