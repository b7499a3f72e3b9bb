#pragma once
// The source of the scanner descriptions stored on the computer.
#include <string>
#include <vector>

#include "nitypes/niPtree.h"

class DeviceStore {
public:
    virtual ~DeviceStore() = default;

    // Reads the descriptions kept below folder (the per-user Devices folder).
    virtual void load(const std::wstring& folder) = 0;
    // Reads one serial's descriptions again.
    virtual void reload(const std::string& serial) = 0;

    virtual bool isLoaded() const = 0;
    // With an empty selection: the serials of every stored scanner, in the store's order.
    virtual std::vector<std::string> listSerials(const std::string& selection) = 0;
    // The entry names stored for serial, in the store's order.
    virtual std::vector<std::string> listEntries(const std::string& serial) = 0;
    // Fills tree with one description; may throw.
    virtual void readEntry(const std::string& serial, const std::string& entry, niTypes::niPtree& tree) = 0;
};
