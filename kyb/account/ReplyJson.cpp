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

pt::ptree parseReplyList(const QByteArray& body)
{
    // The reader takes only objects at the top, so the array becomes the member "" of one.
    pt::ptree wrapped = parseReplyObject("{\"\":" + body + "}");
    if (wrapped.size() != 1 || !wrapped.front().first.empty())
        throw ReplyNotAList();
    pt::ptree list = wrapped.front().second;
    // Arrays have only unnamed children and no value of their own.
    bool isArray = list.data().empty();
    for (const auto& element : list)
        isArray = isArray && element.first.empty();
    if (!isArray)
        throw ReplyNotAList();
    return list;
}
