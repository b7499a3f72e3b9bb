// Feeds any bytes to the readers of the account service's JSON replies; the first byte picks the reader, the rest
// is the body. A reader may refuse a body only the way its request handles: ptree_error, or for the sign-in reply
// std::runtime_error with one of its two texts, or for a list ReplyNotAList. A list is read only from a body whose
// text is a JSON array (its first character after white space is "["), and a scanners body that holds one must be
// read whole, as every element key has a default.
#include <QByteArray>
#include <QString>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "kyb/account/ReplyJson.h"
#include "kyb/account/ReplyReaders.h"

namespace pt = boost::property_tree;

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "reply fuzzer: %s\n", what);
    std::abort();
}

void signIn(const QByteArray& body, bool withEmail)
{
    AccountState state;
    QString email;
    try {
        readSignInReply(body, &state, withEmail ? &email : nullptr);
    } catch (const std::runtime_error& e) {
        if (std::strcmp(e.what(), "Wrong server response data") != 0 &&
            std::strcmp(e.what(), "Wrong server response data format") != 0)
            fail(e.what());
    }
}

// Whether the text, past the JSON white space before it, opens an array. Said apart from the reader: the tree it
// builds cannot tell an array from an object.
bool opensArray(const QByteArray& body)
{
    const auto first = std::find_if(body.cbegin(), body.cend(),
                                    [](char c) { return c != ' ' && c != '\t' && c != '\r' && c != '\n'; });
    return first != body.cend() && *first == '[';
}

// Elements already read stay in the list when a later one fails, so the list never shrinks.
template <class Item, class Read>
void list(const QByteArray& body, Read read)
{
    std::vector<Item> items(1);
    bool isList = false;
    std::size_t elements = 0;
    try {
        elements = parseReplyList(body).size();
        isList = true;
    } catch (const std::exception&) {
    }
    try {
        read(body, &items);
    } catch (const std::exception& e) {
        // The refusals the list requests handle: ptree_error, and ReplyNotAList passed on to their callers.
        if (!dynamic_cast<const pt::ptree_error*>(&e) && !dynamic_cast<const ReplyNotAList*>(&e))
            fail(e.what());
        if (items.empty())
            fail("a failed list read dropped what the list held");
        if (isList && std::is_same_v<Item, AccountScanner>)
            fail("a scanners array was refused");
        return;
    }
    if (!isList || !opensArray(body))
        fail("a body that is not a list was read as one");
    if (items.size() != elements + 1)
        fail("the list read a different number of elements than the array holds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t selector = data[0];
    const QByteArray body(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    const bool wow64 = (selector & 0x80) != 0;
    try {
        switch (selector % 8) {
        case 0:
            signIn(body, false);
            break;
        case 1:
            signIn(body, true);
            break;
        case 2:
            list<AccountScanner>(body, readScannerList);
            break;
        case 3:
            list<ApplicationInfo>(body, [wow64](const QByteArray& b, std::vector<ApplicationInfo>* out) {
                readApplicationList(b, wow64, out);
            });
            break;
        case 4: {
            ApplicationInfo offer;
            readUpdateOffer(body, wow64, &offer);
            break;
        }
        case 5:
            readRefusalMessage(body);
            break;
        case 6: {
            HardwareItem item;
            item.belongsTo = 7;
            try {
                readSerialNumberReply(body, &item);
            } catch (const pt::ptree_error&) {
                if (item.belongsTo != 7 || !item.serial.empty())
                    fail("a refused serial number reply changed the item");
                throw;
            }
            break;
        }
        default:
            readCalibrationRevision(body);
            break;
        }
    } catch (const pt::ptree_error&) {
        // the request's refusal of an unreadable reply
    }
    return 0;
}
