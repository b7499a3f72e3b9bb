#pragma once

#include <map>
#include <ostream>

namespace niTypes {

// Named items with their values, and the two numbers the text form reads before the items.
template <class Name, class Value>
class niEnumeration {
public:
    std::map<Name, Value> items;
    int first = 0;
    int second = 0;

    friend bool operator==(const niEnumeration& a, const niEnumeration& b)
    {
        return a.items == b.items && a.first == b.first && a.second == b.second;
    }
    friend bool operator!=(const niEnumeration& a, const niEnumeration& b) { return !(a == b); }
    friend std::ostream& operator<<(std::ostream& out, const niEnumeration& e)
    {
        out << "niEnumeration(" << e.first << ", " << e.second << ", {";
        const char* sep = "";
        for (const auto& item : e.items) {
            out << sep << item.first << ": " << item.second;
            sep = ", ";
        }
        return out << "})";
    }
};

}  // namespace niTypes
