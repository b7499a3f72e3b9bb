#pragma once

#include <boost/optional.hpp>
#include <boost/property_tree/ptree_fwd.hpp>

#include "nitypes/TypeLabel.h"
#include "nitypes/niPtreeData.h"

namespace niTypes {

// The translator a niPtree uses for get<T>, get_value<T> and put of T: the typed read of niPtreeData, with
// "niTypes::id_translator<T>::get_value" as operation name in its error texts. It never yields an empty
// optional: a value it cannot deliver throws std::runtime_error.
template <class T>
struct id_translator {
    typedef niPtreeData internal_type;
    typedef T external_type;

    boost::optional<T> get_value(const niPtreeData& data) const
    {
        return detail::typedRead<T>(data.value, operationName());
    }

    static std::string operationName()
    {
        return "niTypes::id_translator<" + detail::closeTemplate(detail::TypeLabel<T>::text()) + "::get_value";
    }

    boost::optional<niPtreeData> put_value(const T& v) const
    {
        niPtreeData data;
        data = v;
        return data;
    }
};

}  // namespace niTypes

namespace boost {
namespace property_tree {

template <class T>
struct translator_between<niTypes::niPtreeData, T> {
    typedef niTypes::id_translator<T> type;
};

}  // namespace property_tree
}  // namespace boost
