// The camera libraries and the simulated SDKs define no STB_GNU_UNIQUE symbols: the C library never unloads a
// library that has one, so its state would outlive dlclose (cameras left open, SDK callbacks left registered).
// They export nothing but their interfaces: a library that binds to another's symbols keeps it loaded.
#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

template <class T>
T readAt(std::ifstream& file, std::streamoff offset)
{
    T value;
    file.seekg(offset);
    if (!file.read(reinterpret_cast<char*>(&value), sizeof value))
        throw std::runtime_error("truncated ELF file");
    return value;
}

std::string nameAt(std::ifstream& file, std::streamoff offset)
{
    file.seekg(offset);
    std::string name;
    std::getline(file, name, '\0');
    return name;
}

struct DynamicSymbols {
    std::size_t defined = 0;
    std::vector<std::string> unique;    // defined with GNU unique binding
    std::vector<std::string> exported;  // defined and visible to other objects
};

// Reads the dynamic symbol table of a 64-bit ELF shared library entry by entry.
DynamicSymbols readDynamicSymbols(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    const auto header = readAt<Elf64_Ehdr>(file, 0);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_shentsize != sizeof(Elf64_Shdr))
        throw std::runtime_error(path + " is not a 64-bit ELF file");
    auto section = [&](unsigned index) {
        return readAt<Elf64_Shdr>(file, static_cast<std::streamoff>(header.e_shoff + index * sizeof(Elf64_Shdr)));
    };
    DynamicSymbols result;
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr table = section(i);
        if (table.sh_type != SHT_DYNSYM)
            continue;
        if (table.sh_entsize != sizeof(Elf64_Sym) || table.sh_link >= header.e_shnum)
            throw std::runtime_error(path + ": malformed dynamic symbol table");
        const Elf64_Shdr names = section(table.sh_link);
        for (Elf64_Xword k = 0; k < table.sh_size / sizeof(Elf64_Sym); ++k) {
            const auto symbol = readAt<Elf64_Sym>(file, static_cast<std::streamoff>(table.sh_offset + k * sizeof(Elf64_Sym)));
            if (symbol.st_shndx == SHN_UNDEF)
                continue;
            ++result.defined;
            const std::string name = nameAt(file, static_cast<std::streamoff>(names.sh_offset + symbol.st_name));
            const unsigned bind = ELF64_ST_BIND(symbol.st_info);
            if (bind == STB_GNU_UNIQUE)
                result.unique.push_back(name);
            const unsigned visibility = ELF64_ST_VISIBILITY(symbol.st_other);
            if (bind != STB_LOCAL && (visibility == STV_DEFAULT || visibility == STV_PROTECTED))
                result.exported.push_back(name);
        }
        return result;
    }
    throw std::runtime_error(path + " has no dynamic symbol table");
}

struct Library {
    const char* name;
    const char* path;
    std::size_t minimumDefined;              // the table was read: at least the interface's functions
    std::vector<std::string> interfaceNames;  // prefixes of the (mangled) names of the interface
};

class LibrarySymbols : public ::testing::TestWithParam<Library> {};

TEST_P(LibrarySymbols, NoneIsUniqueAndOnlyTheInterfaceIsExported)
{
    const Library& library = GetParam();
    const DynamicSymbols symbols = readDynamicSymbols(library.path);
    EXPECT_GE(symbols.defined, library.minimumDefined);
    std::string names;
    for (const std::string& name : symbols.unique)
        names += "\n  " + name;
    EXPECT_TRUE(symbols.unique.empty()) << symbols.unique.size() << " unique symbols:" << names;

    std::vector<std::string> foreign;
    for (const std::string& name : symbols.exported) {
        bool known = false;
        for (const std::string& prefix : library.interfaceNames)
            known = known || name.compare(0, prefix.size(), prefix) == 0;
        if (!known)
            foreign.push_back(name);
    }
    names.clear();
    for (std::size_t i = 0; i < foreign.size() && i < 20; ++i)
        names += "\n  " + foreign[i];
    EXPECT_TRUE(foreign.empty()) << foreign.size() << " exported symbols outside the interface, first:" << names;
}

// Errors cross to the host: their type information is exported (capture::*).
const std::vector<std::string> errorTypes = {"_ZTIN7capture", "_ZTSN7capture"};

std::vector<std::string> with(std::vector<std::string> names, const std::vector<std::string>& more)
{
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, LibrarySymbols,
    ::testing::Values(
        Library{"lmGrabber", LMGRABBER_LIBRARY, 95, with({"cw", "_ZN9lmGrabber", "_ZNK9lmGrabber"}, errorTypes)},
        Library{"pgGrabber", PGGRABBER_LIBRARY, 95,
                with({"cw", "_ZN9pgGrabber", "_ZNK9pgGrabber", "_ZN10Resolution", "_ZNK10Resolution"}, errorTypes)},
        Library{"lucam", LUCAM_LIBRARY, 26, {"Lucam", "_ZN8lucamsim", "_ZNK8lucamsim"}},
        Library{"flycapture2sim", FLYCAPTURE_LIBRARY, 40,
                {"_ZN11FlyCapture2", "_ZNK11FlyCapture2", "_ZTIN11FlyCapture2", "_ZTSN11FlyCapture2",
                 "_ZTVN11FlyCapture2", "_ZN6fc2sim", "_ZNK6fc2sim"}}),
    [](const ::testing::TestParamInfo<Library>& info) { return std::string(info.param.name); });

}  // namespace
