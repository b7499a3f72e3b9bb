#pragma once
#include <string>

#include "devices/iLog.h"

// The logger the program hands to the device enumeration: it discards everything.
class QtLogger : public iLog {
public:
    void print(const std::string&) override {}
    __attribute__((format(printf, 2, 3))) void printf(const char*, ...) override {}
    void write(const std::wstring&) override {}
    void info(const std::string&) override {}
    void warning(const std::string&) override {}
    void error(const std::string&) override {}
};
