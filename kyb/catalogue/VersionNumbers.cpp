#include "catalogue/VersionNumbers.h"

#include <stdexcept>

namespace {

template <typename Convert>
std::vector<int> splitWith(const std::string& text, Convert convert)
{
    std::vector<int> parts;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find('.', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            parts.push_back(convert(text.substr(start, end - start)));
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::vector<int> splitVersion(const std::string& text)
{
    return splitWith(text, [](const std::string& part) { return std::stoi(part, nullptr, 10); });
}

std::vector<int> splitVersionLeniently(const std::string& text)
{
    return splitWith(text, [](const std::string& part) {
        try {
            return std::stoi(part, nullptr, 10);
        } catch (const std::logic_error&) {   // invalid_argument and out_of_range
            return 0;
        }
    });
}

int compareVersions(const std::vector<int>& a, const std::vector<int>& b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i >= b.size())
            return 1;
        if (a[i] > b[i])
            return 1;
        if (a[i] < b[i])
            return -1;
    }
    return b.size() > a.size() ? -1 : 0;
}
