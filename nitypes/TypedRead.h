#pragma once

#include <boost/any.hpp>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace niTypes {
namespace detail {

inline float narrowToFloat(double value)
{
    // Out-of-range doubles become infinities instead of an undefined conversion.
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

template <class T>
T readHeld(const boost::any& held)
{
    if (const T* exact = boost::any_cast<T>(&held))
        return *exact;
    if constexpr (std::is_same_v<T, double>) {
        if (const float* f = boost::any_cast<float>(&held))
            return static_cast<double>(*f);
    }
    if constexpr (std::is_same_v<T, float>) {
        if (const double* d = boost::any_cast<double>(&held))
            return narrowToFloat(*d);
    }
    // The names are the run-time type information's own (type_info::name()); an empty value's type is void.
    throw std::runtime_error(std::string("undefined conversion from ") + held.type().name() + " to " +
                             typeid(T).name());
}

// The one typed read: the held type itself, float and double into each other, anything else throws
// std::runtime_error("Error at <operation>: <reason>").
template <class T>
T typedRead(const boost::any& held, const std::string& operation)
{
    try {
        return readHeld<T>(held);
    } catch (const std::exception& e) {
        throw std::runtime_error("Error at " + operation + ": " + e.what());
    }
}

}  // namespace detail
}  // namespace niTypes
