#pragma once

#include <string>

namespace niTypes {

// Key order of a niPtree: plain byte-wise comparison, so lookup is exact and case-sensitive.
struct any_traits {
    bool operator()(const std::string& a, const std::string& b) const { return a < b; }
};

}  // namespace niTypes
