#pragma once

#include <boost/core/demangle.hpp>

#include <string>
#include <typeinfo>
#include <vector>

#include "nitypes/niColor.h"
#include "nitypes/niEnumeration.h"
#include "nitypes/niString.h"

namespace niTypes {
namespace detail {

// Closes a template argument list after label, keeping "> >" apart.
inline std::string closeTemplate(const std::string& label)
{
    return label + (!label.empty() && label.back() == '>' ? " >" : ">");
}

// Fixed, compiler-independent names of the held types, used in the operation names of error texts.
template <class T>
struct TypeLabel {
    static std::string text() { return boost::core::demangle(typeid(T).name()); }
};

#define NITYPES_TYPE_LABEL(type, label)                   \
    template <>                                           \
    struct TypeLabel<type> {                              \
        static std::string text() { return label; }       \
    }

NITYPES_TYPE_LABEL(int, "int");
NITYPES_TYPE_LABEL(unsigned, "unsigned int");
NITYPES_TYPE_LABEL(float, "float");
NITYPES_TYPE_LABEL(double, "double");
NITYPES_TYPE_LABEL(bool, "bool");
NITYPES_TYPE_LABEL(char, "char");
NITYPES_TYPE_LABEL(niString, "class niTypes::niString");
NITYPES_TYPE_LABEL(niColor, "class niTypes::niColor");
NITYPES_TYPE_LABEL(std::string,
                   "class std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> >");
NITYPES_TYPE_LABEL(std::wstring, "class std::basic_string<wchar_t,struct std::char_traits<wchar_t>,"
                                 "class std::allocator<wchar_t> >");

#undef NITYPES_TYPE_LABEL

template <class T>
struct TypeLabel<std::vector<T>> {
    static std::string text()
    {
        const std::string item = TypeLabel<T>::text();
        return "class std::vector<" + item + ",class std::allocator<" + closeTemplate(item) + " >";
    }
};

template <class Name, class Value>
struct TypeLabel<niEnumeration<Name, Value>> {
    static std::string text()
    {
        return "class niTypes::niEnumeration<" + TypeLabel<Name>::text() + "," + TypeLabel<Value>::text() + ">";
    }
};

}  // namespace detail
}  // namespace niTypes
