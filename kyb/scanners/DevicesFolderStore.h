#pragma once
#include <map>
#include <string>
#include <vector>

#include "devices/DeviceStore.h"

class iLog;

// The scanner descriptions of the per-user Devices folder: every subfolder whose name can be a serial holds one
// scanner's unpacked calibration (the calibration unpack's own "~staging" and "~previous" never can), and each
// "*.xml" file directly in it whose root element is "Belmo" is one description (entry name: the file name without
// ".xml", e.g. "Device"). Descriptions are read with read_xml from the typed text form when the folder is loaded or
// a serial reloaded; a file that does not parse is no entry. Serials and entries are kept in byte order of their
// names.
class DevicesFolderStore : public DeviceStore {
public:
    explicit DevicesFolderStore(iLog* log = nullptr);

    void load(const std::wstring& folder) override;
    void reload(const std::string& serial) override;
    bool isLoaded() const override { return loaded; }
    std::vector<std::string> listSerials(const std::string& selection) override;
    std::vector<std::string> listEntries(const std::string& serial) override;
    // Throws std::runtime_error for a serial or entry the store does not hold.
    void readEntry(const std::string& serial, const std::string& entry, niTypes::niPtree& tree) override;

    const std::wstring& folder() const { return root; }

private:
    using Entries = std::map<std::string, niTypes::niPtree>;
    Entries readSerialFolder(const std::string& serial) const;

    iLog* log;
    std::wstring root;
    bool loaded = false;
    std::map<std::string, Entries> serials;
};
