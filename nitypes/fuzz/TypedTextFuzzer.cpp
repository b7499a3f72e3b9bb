// Feeds arbitrary text to the typed text parser, as an XML element's text piece and inside an XML document.
// A failed read must be the parser's std::runtime_error; any other exception or a crash is a finding.
#include <boost/property_tree/xml_parser.hpp>

#include <cstddef>
#include <cstdint>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>

#include "nitypes/TypedText.h"
#include "nitypes/niPtree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    niTypes::niPtreeData value;
    niTypes::parseTypedValue(value, text, std::locale::classic());
    try {
        niTypes::niPtreeData appended;
        appended += text;
    } catch (const std::runtime_error&) {
    }

    std::istringstream in("<r><a>" + text + "</a></r>");
    niTypes::niPtree tree;
    try {
        boost::property_tree::read_xml(in, tree, boost::property_tree::xml_parser::trim_whitespace);
    } catch (const std::runtime_error&) {  // malformed XML or a failed typed read
    }
    return 0;
}
