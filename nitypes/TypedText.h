#pragma once

#include <istream>
#include <locale>
#include <string>
#include <vector>

#include "nitypes/niEnumeration.h"
#include "nitypes/niPtreeData.h"
#include "nitypes/niString.h"

namespace niTypes {

// Parses "<type name> : <value>" into value. True when accepted (a value stored, or nothing stored for a type
// name it does not know), false when malformed or a read failed (value unchanged).
bool parseTypedValue(niPtreeData& value, const std::string& text, const std::locale& locale);

// Readers of the value grammars; the stream's state tells whether a read failed. A vector count that is
// negative or huge fails the read; room is reserved only for as many items as the text left could hold.
std::istream& readEnumeration(std::istream& in, niEnumeration<std::string, int>& enumeration);
std::istream& readVector(std::istream& in, std::vector<int>& vector);
std::istream& readVector(std::istream& in, std::vector<float>& vector);
std::istream& readVector(std::istream& in, std::vector<double>& vector);
std::istream& readCharVector(std::istream& in, std::vector<char>& vector);
std::istream& readStringVector(std::istream& in, std::vector<niString>& vector);

}  // namespace niTypes
