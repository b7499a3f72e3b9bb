#include "nitypes/TypedText.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <sstream>
#include <utility>

#include "nitypes/niColor.h"

namespace niTypes {

namespace {

// Skips blanks without std::ws, which flags a failed read on a stream already at its end.
void skipBlanks(std::istream& in)
{
    if (!in.good())
        return;
    const auto& ctype = std::use_facet<std::ctype<char>>(in.getloc());
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const int c = buffer->sgetc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return;
        }
        if (!ctype.is(std::ctype_base::space, std::char_traits<char>::to_char_type(c)))
            return;
        buffer->sbumpc();
    }
}

bool atEnd(std::istream& in)
{
    return in.eof() || in.rdbuf()->sgetc() == std::char_traits<char>::eof();
}

void skipOne(std::istream& in)
{
    in.get();
}

// Counts whose items would take this many bytes or more are taken as garbage, not as a size.
constexpr std::size_t hugeReservation = std::size_t(1) << 30;

// Reads a vector's item count of T items. A negative or huge count fails the read. A count beyond what the text
// holds is not refused here: number and character items then run out and fail, while a string list simply holds
// fewer items.
template <class T>
bool readCount(std::istream& in, int& count)
{
    count = 0;
    in >> count;
    if (!in)
        return false;
    if (count < 0 || static_cast<std::size_t>(count) >= hugeReservation / sizeof(T)) {
        in.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

// Room for count items, but never more than the text left could fill.
template <class T>
void reserveFor(std::istream& in, std::vector<T>& vector, int count)
{
    const std::streamsize left = in.rdbuf()->in_avail();
    const std::streamsize bound = left > 0 ? left : 0;
    vector.reserve(static_cast<std::size_t>(count < bound ? count : bound));
}

// The count of a character or string vector and the two characters after it; then room for the items.
template <class T>
bool readItemsHeader(std::istream& in, std::vector<T>& vector, int& count)
{
    if (!readCount<T>(in, count))
        return false;
    skipOne(in);
    skipOne(in);
    if (!in)
        return false;
    reserveFor(in, vector, count);
    return true;
}

template <class T>
std::istream& readNumbers(std::istream& in, std::vector<T>& vector)
{
    int count = 0;
    if (!readCount<T>(in, count))
        return in;
    reserveFor(in, vector, count);
    for (int i = 0; i < count; ++i) {
        skipOne(in);
        skipBlanks(in);
        T item{};
        if (!(in >> item))
            break;
        vector.push_back(item);
    }
    return in;
}

template <class T>
bool readWhole(std::istream& in, T& result)
{
    in >> result;
    skipBlanks(in);
    return !in.fail() && atEnd(in);
}

template <class T>
bool assignWhole(niPtreeData& value, std::istream& in)
{
    T result{};
    if (!readWhole(in, result))
        return false;
    value = result;
    return true;
}

template <class Container>
bool assignRead(niPtreeData& value, std::istream& in, std::istream& (*reader)(std::istream&, Container&))
{
    Container result;
    if (reader(in, result).fail())
        return false;
    value = result;
    return true;
}

}  // namespace

std::istream& readEnumeration(std::istream& in, niEnumeration<std::string, int>& enumeration)
{
    int first = 0;
    int second = 0;
    unsigned count = 0;
    in >> first;
    skipOne(in);
    in >> second;
    skipOne(in);
    in >> count;
    std::map<std::string, int> items;
    for (unsigned i = 0; i < count && in; ++i) {
        skipOne(in);
        std::string name;
        std::getline(in, name, ',');
        skipBlanks(in);
        int item = 0;
        if (!(in >> item))
            break;
        items.emplace(std::move(name), item);  // a repeated name keeps its first value
    }
    enumeration.first = first;
    enumeration.second = second;
    enumeration.items = std::move(items);
    return in;
}

std::istream& readVector(std::istream& in, std::vector<int>& vector)
{
    return readNumbers(in, vector);
}

std::istream& readVector(std::istream& in, std::vector<float>& vector)
{
    return readNumbers(in, vector);
}

std::istream& readVector(std::istream& in, std::vector<double>& vector)
{
    return readNumbers(in, vector);
}

std::istream& readCharVector(std::istream& in, std::vector<char>& vector)
{
    int count = 0;
    if (!readItemsHeader(in, vector, count))
        return in;
    for (int i = 0; i < count; ++i) {
        skipBlanks(in);
        const int c = in.get();
        if (!in)
            break;
        vector.push_back(std::char_traits<char>::to_char_type(c));
    }
    return in;
}

std::istream& readStringVector(std::istream& in, std::vector<niString>& vector)
{
    int count = 0;
    if (!readItemsHeader(in, vector, count))
        return in;
    std::string line;
    if (!std::getline(in, line))
        return in;
    std::string::size_type from = 0;
    while (vector.size() < static_cast<std::size_t>(count)) {
        const std::string::size_type open = line.find('"', from);
        if (open == std::string::npos)
            break;
        const std::string::size_type close = line.find('"', open + 1);
        if (close == std::string::npos)
            break;
        vector.push_back(niString(line.substr(open + 1, close - open - 1)));
        from = close + 1;
    }
    return in;
}

bool parseTypedValue(niPtreeData& value, const std::string& text, const std::locale& locale)
{
    if (text.size() < 3)
        return false;
    const std::string::size_type colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon == text.size() - 1)
        return false;
    // The character before the colon and the one after it are separators, whatever they are.
    const std::string type = text.substr(0, colon - 1);
    std::istringstream in(text.substr(colon + 2));
    in.imbue(locale);

    if (type == "int")
        return assignWhole<int>(value, in);
    if (type == "float")
        return assignWhole<float>(value, in);
    if (type == "double")
        return assignWhole<double>(value, in);
    if (type == "bool")
        return assignWhole<bool>(value, in);
    if (type == "string") {
        value = niString(text.substr(colon + 2));
        return true;
    }
    if (type == "color") {
        std::uint32_t color = 0;
        if (!readWhole(in, color))
            return false;
        value = niColor(color);
        return true;
    }
    if (type == "enum string-int") {
        niEnumeration<std::string, int> enumeration;
        readEnumeration(in, enumeration);
        skipBlanks(in);
        if (in.fail() || !atEnd(in))
            return false;
        value = enumeration;
        return true;
    }
    if (type == "vector int")
        return assignRead<std::vector<int>>(value, in, readVector);
    if (type == "vector float")
        return assignRead<std::vector<float>>(value, in, readVector);
    if (type == "vector double")
        return assignRead<std::vector<double>>(value, in, readVector);
    if (type == "vector char")
        return assignRead<std::vector<char>>(value, in, readCharVector);
    if (type == "vector strings")
        return assignRead<std::vector<niString>>(value, in, readStringVector);
    return true;  // a type name it does not know: accepted, nothing stored
}

}  // namespace niTypes
