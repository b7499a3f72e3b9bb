// Feeds any bytes to the readers of the account service's JSON replies; the first byte picks the reader, the rest
// is the body. A reader may refuse a body only the way its request handles: ptree_error, or for the sign-in reply
// std::runtime_error with one of its two texts, or for a list ReplyNotAList. A list is read only from a body that
// is one JSON array, told from the text's structure by the oracle below, and then with all its elements; an array
// is never taken for another value; a UTF-8 byte-order mark before a body changes nothing.
#include <QByteArray>
#include <QString>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cctype>
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

const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// What a body is as JSON, told from its structure alone, apart from the readers under test: one array and its
// number of elements, one value of another kind, or not one JSON value. Looser than JSON where only the kind
// matters (a string's bytes and escapes, the spelling of numbers and literals), so every text the property-tree
// reader takes has a verdict here. The byte-order mark before a body is not part of it.
struct Verdict {
    enum Kind { Array, OtherValue, NoValue } kind = NoValue;
    int elements = 0;
};

class Structure {
public:
    explicit Structure(const QByteArray& text) : at_(text.cbegin()), end_(text.cend()) {}

    Verdict verdict()
    {
        Verdict verdict;
        skipSpace();
        const bool array = at_ != end_ && *at_ == '[';
        int elements = 0;
        if (!value(&elements))
            return verdict;
        skipSpace();
        if (at_ != end_)
            return verdict;   // more after the value
        verdict.kind = array ? Verdict::Array : Verdict::OtherValue;
        verdict.elements = elements;
        return verdict;
    }

private:
    void skipSpace()
    {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r'))
            ++at_;
    }

    bool take(char c)
    {
        skipSpace();
        if (at_ == end_ || *at_ != c)
            return false;
        ++at_;
        return true;
    }

    bool string()
    {
        if (!take('"'))
            return false;
        while (at_ != end_ && *at_ != '"') {
            if (*at_ == '\\' && ++at_ == end_)
                return false;
            ++at_;
        }
        return at_ != end_ && *at_++ == '"';
    }

    // A value; for an array, its number of elements into elements.
    bool value(int* elements)
    {
        skipSpace();
        if (at_ == end_)
            return false;
        int inner = 0;
        if (*at_ == '[') {
            ++at_;
            if (take(']'))
                return true;
            do {
                if (!value(&inner))
                    return false;
                ++*elements;
            } while (take(','));
            return take(']');
        }
        if (*at_ == '{') {
            ++at_;
            if (take('}'))
                return true;
            do {
                if (!string() || !take(':') || !value(&inner))
                    return false;
            } while (take(','));
            return take('}');
        }
        if (*at_ == '"')
            return string();
        const auto word = at_;
        while (at_ != end_ && (std::isalnum(static_cast<unsigned char>(*at_)) || *at_ == '+' || *at_ == '-' ||
                               *at_ == '.'))
            ++at_;
        return at_ != word;
    }

    QByteArray::const_iterator at_;
    QByteArray::const_iterator end_;
};

Verdict judge(const QByteArray& body)
{
    return Structure(body.startsWith(byteOrderMark) ? body.mid(byteOrderMark.size()) : body).verdict();
}

// How a list read ended: the exception it left by (none, ptree_error, ReplyNotAList) and the items it left.
struct ListOutcome {
    enum Ending { Read, Unreadable, NotAList } ending = Read;
    std::size_t items = 0;
    bool operator==(const ListOutcome& other) const { return ending == other.ending && items == other.items; }
};

template <class Item, class Read>
ListOutcome readList(const QByteArray& body, Read read)
{
    std::vector<Item> items(1);
    ListOutcome outcome;
    try {
        read(body, &items);
    } catch (const ReplyNotAList&) {
        outcome.ending = ListOutcome::NotAList;
    } catch (const pt::ptree_error&) {
        outcome.ending = ListOutcome::Unreadable;
    } catch (const std::exception& e) {
        fail(e.what());   // no refusal the list requests handle
    }
    // Elements already read stay in the list when a later one fails, so the list never shrinks.
    if (items.empty())
        fail("a failed list read dropped what the list held");
    outcome.items = items.size() - 1;
    return outcome;
}

template <class Item, class Read>
void list(const QByteArray& body, Read read)
{
    const ListOutcome outcome = readList<Item>(body, read);
    const Verdict verdict = judge(body);
    if (outcome.ending == ListOutcome::Read && verdict.kind != Verdict::Array)
        fail("a body that is not a list was read as one");
    if (outcome.ending == ListOutcome::Read && verdict.kind == Verdict::Array &&
        outcome.items != static_cast<std::size_t>(verdict.elements))
        fail("the list read a different number of elements than the array holds");
    if (outcome.ending == ListOutcome::NotAList && verdict.kind == Verdict::Array)
        fail("an array was refused as no list");
    if (!body.startsWith(byteOrderMark) && !(readList<Item>(byteOrderMark + body, read) == outcome))
        fail("a byte-order mark before the body changed how it was read");
    // Every key of a scanner element has a default: a body the list parser takes is read whole.
    if (std::is_same_v<Item, AccountScanner> && outcome.ending != ListOutcome::Read) {
        bool parsed = true;
        try {
            parseReplyList(body);
        } catch (const std::exception&) {
            parsed = false;
        }
        if (parsed)
            fail("a scanners array was refused");
    }
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
