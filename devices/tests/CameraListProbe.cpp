// Runs camera listings through the real library table, from wherever this program was copied to.
// Arguments, in order: "list:<kind>|<kind>..." (listCamerasOfKinds), "warn:<kind>" (that row's listing with a
// logger), "copy:<from>:<to>"; "--no-release" leaves the release to the end of the program.
// Prints "camera <kind>|<id>|<name>" per descriptor and "warning <text>" per warning (line breaks as "\n").
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "devices/CameraLibraryTable.h"
#include "devices/iLog.h"

namespace {

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

class PrintingLog : public iLog {
public:
    void print(const std::string&) override {}
    void printf(const char* format, ...) override
    {
        char buffer[2048];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        std::cout << "warning " << escaped(buffer) << "\n";
    }
    void write(const std::wstring&) override {}
    void info(const std::string&) override {}
    void warning(const std::string&) override {}
    void error(const std::string&) override {}
};

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

void print(const std::vector<CameraDescriptor>& cameras)
{
    for (const CameraDescriptor& c : cameras)
        std::cout << "camera " << c.kind << "|" << c.id << "|" << c.name << "\n";
    std::cout << "end\n";
}

}  // namespace

int main(int argc, char** argv)
{
    bool release = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-release") {
            release = false;
        } else if (arg.compare(0, 5, "list:") == 0) {
            std::vector<CameraDescriptor> cameras{{"stale", "stale", "stale"}};
            const std::string kinds = arg.substr(5);
            listCamerasOfKinds(kinds.empty() ? std::vector<std::string>() : split(kinds, '|'), cameras, L"");
            print(cameras);
        } else if (arg.compare(0, 5, "warn:") == 0) {
            PrintingLog log;
            std::vector<CameraDescriptor> cameras;
            for (CameraLibraryEntry& row : CameraLibraryTable::rows())
                if (arg.substr(5) == row.kind)
                    row.listAvailableCameras(cameras, &log);
            print(cameras);
        } else if (arg.compare(0, 5, "copy:") == 0) {
            const std::vector<std::string> paths = split(arg.substr(5), ':');
            std::ifstream from(paths.at(0), std::ios::binary);
            std::ofstream to(paths.at(1), std::ios::binary);
            to << from.rdbuf();
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            return 2;
        }
    }
    std::cout.flush();
    if (release)
        CameraLibraryTable::release();
    return 0;
}
