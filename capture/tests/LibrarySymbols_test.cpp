// The camera libraries define no STB_GNU_UNIQUE symbols: the C library never unloads a library that has one, so
// its state would outlive dlclose (cameras left open, SDK callbacks left registered).
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
    std::vector<std::string> unique;  // defined with GNU unique binding
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
            if (ELF64_ST_BIND(symbol.st_info) == STB_GNU_UNIQUE)
                result.unique.push_back(nameAt(file, static_cast<std::streamoff>(names.sh_offset + symbol.st_name)));
        }
        return result;
    }
    throw std::runtime_error(path + " has no dynamic symbol table");
}

class CameraLibrarySymbols : public ::testing::TestWithParam<const char*> {};

TEST_P(CameraLibrarySymbols, NoneIsUnique)
{
    const DynamicSymbols symbols = readDynamicSymbols(GetParam());
    EXPECT_GT(symbols.defined, 90u);  // the cw exports at least: the table was read
    std::string names;
    for (const std::string& name : symbols.unique)
        names += "\n  " + name;
    EXPECT_TRUE(symbols.unique.empty()) << symbols.unique.size() << " unique symbols:" << names;
}

INSTANTIATE_TEST_SUITE_P(Libraries, CameraLibrarySymbols, ::testing::Values(LMGRABBER_LIBRARY, PGGRABBER_LIBRARY));

}  // namespace
