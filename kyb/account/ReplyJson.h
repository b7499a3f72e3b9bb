#pragma once
#include <QByteArray>
#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

// A list reply that is valid JSON but not an array: an unreadable reply, not a refusal. what() is
// "Wrong server response data format", the text of a reply of the wrong shape.
class ReplyNotAList : public std::runtime_error {
public:
    ReplyNotAList() : std::runtime_error("Wrong server response data format") {}
};

// JSON replies of the account service as property trees (every value as text). Both throw
// boost::property_tree::ptree_error (json_parser_error on a syntax error).
boost::property_tree::ptree parseReplyObject(const QByteArray& body);
// A reply holding a JSON array, after a UTF-8 byte-order mark when there is one: the elements are the children of
// the result, in array order. A syntax error throws json_parser_error; valid JSON that is not an array (an object,
// also {} or one with empty keys, a text, null, a number) throws ReplyNotAList.
boost::property_tree::ptree parseReplyList(const QByteArray& reply);
