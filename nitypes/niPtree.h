#pragma once

#include <boost/property_tree/ptree.hpp>

#include <string>

#include "nitypes/any_traits.h"
#include "nitypes/id_translator.h"
#include "nitypes/niColor.h"
#include "nitypes/niEnumeration.h"
#include "nitypes/niPtreeData.h"
#include "nitypes/niString.h"

namespace niTypes {

// A property tree with typed node values. Text is read as niString:
//   tree.get<niTypes::niString>("Belmo.Device.Info.serial", niTypes::niString())
// (the default only when the path names no node; an empty node or another held type throws).
typedef boost::property_tree::basic_ptree<std::string, niPtreeData, any_traits> niPtree;

typedef niEnumeration<std::string, int> niStringIntEnumeration;

}  // namespace niTypes
