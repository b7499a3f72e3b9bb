#include "nitypes/StringConversion.h"

#include <cstdlib>
#include <vector>

namespace niTypes {

std::wstring narrowToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    std::vector<wchar_t> buffer(2 * text.size());
    const std::size_t count = std::mbstowcs(buffer.data(), text.c_str(), buffer.size());
    if (count == static_cast<std::size_t>(-1))
        return std::wstring();
    return std::wstring(buffer.data(), count);
}

std::string wideToNarrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    std::vector<char> buffer(8 * text.size());
    const std::size_t count = std::wcstombs(buffer.data(), text.c_str(), buffer.size());
    if (count == static_cast<std::size_t>(-1))
        return std::string();
    return std::string(buffer.data(), count);
}

}  // namespace niTypes
