#pragma once

#include <boost/any.hpp>

#include <string>

#include "nitypes/TypedRead.h"

namespace niTypes {

// The typed value of a tree node. An empty value (type void) means the node has no value.
struct niPtreeData {
    boost::any value;

    niPtreeData() = default;
    niPtreeData(const std::string& text) : value(text) {}
    niPtreeData(const char* text) : value(std::string(text ? text : "")) {}

    // Replaces the value by a copy of the argument, held as exactly T.
    template <class T>
    niPtreeData& operator=(const T& newValue)
    {
        value = newValue;
        return *this;
    }

    // The held value as T; a float reads as double and a double as float; every other mismatch throws
    // std::runtime_error "Error at niTypes::niPtreeData::get: undefined conversion from ...".
    template <class T>
    T get() const
    {
        return detail::typedRead<T>(value, "niTypes::niPtreeData::get");
    }

    // Text pieces of an XML element: appended to a held std::string, otherwise parsed as typed text (see
    // TypedText.h). Throws std::runtime_error "Error at niTypes::niPtreeData::operator +=: ..." when the
    // value is already typed or the text does not parse.
    niPtreeData& operator+=(const std::string& piece);
    niPtreeData& operator+=(const char* piece);

    bool empty() const { return value.empty(); }
};

}  // namespace niTypes
