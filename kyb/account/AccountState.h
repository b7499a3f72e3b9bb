#pragma once
#include <string>

// The sign-in record of the program.
struct AccountState {
    std::wstring login;
    std::string authToken;        // enciphered as the service sends it, plain once signIn has deciphered it
    std::string machineRecordId;  // the service's record id for this computer ("hwfp_id")
    std::string uok;
    bool offlineMode = false;     // the last request got no answer: list fetches read cache.ini
    bool selfUpdateAvailable = false;
    std::string selfUpdateLink;
};

// The one global record.
extern AccountState accountState;
