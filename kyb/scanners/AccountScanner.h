#pragma once
#include <string>

// One scanner of the account.
struct AccountScanner {
    std::string id;                // record id in the account, used in the calibration download address
    std::string serialNumber;
    int calibrationRevision = -1;  // the service's revision; -1 when it gives none
    int calibrationState = 0;      // 1 = a different revision is offered, 2 = current or nothing to compare
    bool hasTextureCamera = false;
    std::string upgradeUrl;
};
