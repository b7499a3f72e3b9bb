#pragma once
#include <QByteArray>
#include <boost/property_tree/ptree.hpp>

// JSON replies of the account service as property trees (every value as text). Both throw
// boost::property_tree::ptree_error (json_parser_error on a syntax error).
boost::property_tree::ptree parseReplyObject(const QByteArray& body);
// A reply holding a JSON array: the elements are the children of the result, in array order. Anything that is not
// an array is refused with ptree_bad_data.
boost::property_tree::ptree parseReplyList(const QByteArray& body);
