#include "account/ReplyJson.h"

#include <boost/property_tree/json_parser.hpp>
#include <sstream>

namespace pt = boost::property_tree;

pt::ptree parseReplyObject(const QByteArray& body)
{
    std::istringstream stream(body.toStdString());
    pt::ptree tree;
    pt::read_json(stream, tree);
    return tree;
}

namespace {

// The reader's white space.
bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The tree stores an empty object, an empty array and an empty text alike, and an object's members with empty
// keys like array elements, so only the text tells an array: its first character after white space.
bool startsWithArray(const QByteArray& body)
{
    for (const char c : body) {
        if (!isJsonSpace(c))
            return c == '[';
    }
    return false;
}

}  // namespace

pt::ptree parseReplyList(const QByteArray& reply)
{
    // A UTF-8 byte-order mark is skipped, as the reader skips it before an object; inside the wrapping object
    // below it would be a syntax error.
    static const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
    const QByteArray body = reply.startsWith(byteOrderMark) ? reply.mid(byteOrderMark.size()) : reply;
    // The reader takes only objects at the top, so the array becomes the member "" of one.
    pt::ptree wrapped = parseReplyObject("{\"\":" + body + "}");
    if (wrapped.size() != 1)  // the body went on past its value into members of the wrapping object
        throw pt::json_parser_error("garbage after data", std::string(), 1);
    if (!startsWithArray(body))
        throw ReplyNotAList();
    return wrapped.front().second;
}
