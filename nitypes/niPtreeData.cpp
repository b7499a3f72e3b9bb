#include "nitypes/niPtreeData.h"

#include <algorithm>
#include <cctype>
#include <locale>
#include <stdexcept>

#include "nitypes/TypedText.h"

namespace niTypes {

namespace {

const char* const appendOperation = "Error at niTypes::niPtreeData::operator +=: ";

bool isBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

}  // namespace

niPtreeData& niPtreeData::operator+=(const std::string& piece)
{
    if (std::string* text = boost::any_cast<std::string>(&value)) {
        *text += piece;
        return *this;
    }
    if (!value.empty())
        throw std::runtime_error(std::string(appendOperation) + "data is not empty.");
    if (isBlank(piece))
        return *this;
    if (!parseTypedValue(*this, piece, std::locale()))
        throw std::runtime_error(std::string(appendOperation) + "failed extract value from '" + piece + "'");
    return *this;
}

niPtreeData& niPtreeData::operator+=(const char* piece)
{
    return *this += std::string(piece ? piece : "");
}

}  // namespace niTypes
