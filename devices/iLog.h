#pragma once
// Abstract logger that the device enumeration accepts as an optional pointer.
#include <string>

class iLog {
public:
    virtual void print(const std::string& text) = 0;
    virtual void printf(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual void write(const std::wstring& text) = 0;
    virtual void info(const std::string& text) = 0;
    virtual void warning(const std::string& text) = 0;
    virtual void error(const std::string& text) = 0;
    virtual ~iLog() = default;
};
