#pragma once

#include <string>

namespace niTypes {

// Conversions under the C library's current LC_CTYPE locale; a text that does not convert gives an empty result.
std::wstring narrowToWide(const std::string& text);
std::string wideToNarrow(const std::wstring& text);

}  // namespace niTypes
