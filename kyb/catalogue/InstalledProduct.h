#pragma once
#include <string>

// One of the maker's products found in the registry.
struct InstalledProduct {
    std::string productName;   // the name of the product's registry key
    std::string version;       // "Version" of the chosen version key
    std::wstring installDir;   // "Install_Dir" of that key; empty when absent or too long
    std::wstring dataFolder;   // the product's per-user data folder (holds its "PerfomanceLog" folder)
};
