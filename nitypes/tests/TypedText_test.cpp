#include <gtest/gtest.h>

#include <functional>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

#include "nitypes/TypedText.h"
#include "nitypes/niColor.h"
#include "nitypes/niEnumeration.h"
#include "nitypes/niPtreeData.h"
#include "nitypes/niString.h"

using niTypes::niColor;
using niTypes::niPtreeData;
using niTypes::niString;
using Enumeration = niTypes::niEnumeration<std::string, int>;

namespace {

// One text given to operator +=, with what the value must hold afterwards or the exact error text.
struct TextCase {
    std::string text;
    std::string error;                              // empty: accepted
    std::function<void(const niPtreeData&)> check;  // what an accepted text left in the value
};

void PrintTo(const TextCase& c, std::ostream* out)
{
    *out << '"' << c.text << '"';
}

template <class T>
TextCase holds(std::string text, T expected)
{
    return {std::move(text), "", [expected](const niPtreeData& data) {
                ASSERT_EQ(data.value.type(), typeid(T)) << "held " << data.value.type().name();
                EXPECT_EQ(boost::any_cast<T>(data.value), expected);
            }};
}

TextCase staysEmpty(std::string text)
{
    return {std::move(text), "", [](const niPtreeData& data) { EXPECT_TRUE(data.value.empty()); }};
}

TextCase fails(std::string text)
{
    std::string error = "Error at niTypes::niPtreeData::operator +=: failed extract value from '" + text + "'";
    return {std::move(text), std::move(error), nullptr};
}

Enumeration enumeration(int first, int second, std::map<std::string, int> items)
{
    Enumeration e;
    e.first = first;
    e.second = second;
    e.items = std::move(items);
    return e;
}

class TypedTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TypedTextTest, AppendParsesTheTypedText)
{
    const TextCase& c = GetParam();
    niPtreeData data;
    if (c.error.empty()) {
        ASSERT_NO_THROW(data += c.text.c_str());
        c.check(data);
    } else {
        try {
            data += c.text.c_str();
            FAIL() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        EXPECT_TRUE(data.value.empty());
    }
}

const TextCase textCases[] = {
    // int and the separators around the colon
    holds("int : 5", 5),
    holds("int : 5 ", 5),
    holds("int :  5", 5),
    holds("int : -12\n", -12),
    fails("int : 5x"),
    fails("int : 0x10"),
    fails("int : "),
    fails("int :5"),
    fails("int : 99999999999"),
    staysEmpty("int: 5"),
    staysEmpty("  int : 5"),
    staysEmpty(" : "),
    staysEmpty("long : 5"),
    staysEmpty("Int : 5"),
    // malformed texts
    fails("ab"),
    fails(":ab"),
    fails("int 5"),
    // bool, float, double, color
    holds("bool : 1", true),
    holds("bool : 0", false),
    fails("bool : true"),
    fails("bool : 2"),
    holds("float : 1.5", 1.5f),
    holds("float : -2e3", -2000.0f),
    fails("float : 1,5"),
    fails("float : 1e40"),
    holds("double : 2.5e-3", 2.5e-3),
    fails("double : 1.5.2"),
    holds("color : 4278190335", niColor(4278190335u)),
    fails("color : 4294967296"),
    fails("color : 12 red"),
    // string: the value text unchanged
    holds("string : a: b ", niString("a: b ")),
    holds("string : ", niString("")),
    holds("string : two\nlines", niString("two\nlines")),
    fails("string :"),
    // enumeration
    holds("enum string-int : 1 0 2 one,1 one,2", enumeration(1, 0, {{"one", 1}})),
    holds("enum string-int : 1 0 2 one,1 two,2  ", enumeration(1, 0, {{"one", 1}, {"two", 2}})),
    holds("enum string-int : 3 -4 2 a b, 5 c,-6", enumeration(3, -4, {{"a b", 5}, {"c", -6}})),
    holds("enum string-int : 7 8 0", enumeration(7, 8, {})),
    fails("enum string-int : 1 0 2 one,1 two,2x"),
    fails("enum string-int : 1 0 2 one,1"),
    fails("enum string-int : 1 0 1 one"),
    // vectors of numbers
    holds("vector int : 0", std::vector<int>{}),
    holds("vector int : 2, 1, 2, 3", std::vector<int>{1, 2}),
    holds("vector int : 3 4 5 6", std::vector<int>{4, 5, 6}),
    fails("vector int : 3, 1, 2"),
    fails("vector int : 2, 1, x"),
    fails("vector int : x"),
    fails("vector int : -1"),
    fails("vector int : -5, 1"),
    fails("vector int : 2147483647, 1"),
    holds("vector float : 2, 1.5, -2", std::vector<float>{1.5f, -2.0f}),
    fails("vector float : 1, 1e40"),
    holds("vector double : 1, 2.5e-3", std::vector<double>{2.5e-3}),
    // vector char
    fails("vector char : 0"),
    holds("vector char : 0, ", std::vector<char>{}),
    holds("vector char : 3, abc", std::vector<char>{'a', 'b', 'c'}),
    holds("vector char : 3, a b\nc", std::vector<char>{'a', 'b', 'c'}),
    fails("vector char : 3, ab"),
    fails("vector char : -1, ab"),
    fails("vector char : 2000000000, ab"),
    // vector strings
    fails("vector strings : 0, "),
    holds("vector strings : 0, x", std::vector<niString>{}),
    holds("vector strings : 3, \"a b\", \"c\"", std::vector<niString>{"a b", "c"}),
    holds("vector strings : 1, \"a\", \"b\"", std::vector<niString>{"a"}),
    holds("vector strings : 2, \"a\", \"b", std::vector<niString>{"a"}),
    holds("vector strings : 2, \"a\"\n\"b\"", std::vector<niString>{"a"}),
    holds("vector strings : 2, \"\", \"x:y\"", std::vector<niString>{"", "x:y"}),
    fails("vector strings : -1, \"a\""),
    fails("vector strings : 2000000000, \"a\""),
};

INSTANTIATE_TEST_SUITE_P(Texts, TypedTextTest, ::testing::ValuesIn(textCases));

TEST(TypedTextAppend, BlankPiecesAreIgnoredOnAnEmptyValue)
{
    niPtreeData data;
    data += "";
    data += " \n\t ";
    EXPECT_TRUE(data.value.empty());
    data += "int : 4";
    EXPECT_EQ(data.get<int>(), 4);
}

TEST(TypedTextAppend, ASecondPieceOnATypedValueIsRefused)
{
    for (const char* second : {"int : 6", " ", ""}) {
        niPtreeData data;
        data += "int : 5";
        try {
            data += second;
            FAIL() << "accepted '" << second << "'";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Error at niTypes::niPtreeData::operator +=: data is not empty.");
        }
        EXPECT_EQ(data.get<int>(), 5);
    }
}

TEST(TypedTextAppend, PiecesExtendAHeldStdStringUnparsed)
{
    niPtreeData fromString(std::string("a"));
    fromString += " int : 5";
    fromString += std::string(" ");
    EXPECT_EQ(boost::any_cast<std::string>(fromString.value), "a int : 5 ");

    niPtreeData fromChars("int : 1");
    fromChars += "x";
    EXPECT_EQ(boost::any_cast<std::string>(fromChars.value), "int : 1x");
}

TEST(ParseTypedValue, ReplacesTheValueOnlyWhenAccepted)
{
    niPtreeData data;
    data = 3.5;
    EXPECT_FALSE(niTypes::parseTypedValue(data, "int : 5x", std::locale::classic()));
    EXPECT_EQ(data.get<double>(), 3.5);
    EXPECT_TRUE(niTypes::parseTypedValue(data, "other : 5", std::locale::classic()));
    EXPECT_EQ(data.get<double>(), 3.5);
    EXPECT_TRUE(niTypes::parseTypedValue(data, "int : 5", std::locale::classic()));
    EXPECT_EQ(data.get<int>(), 5);
}

struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(ParseTypedValue, ReadsNumbersUnderTheCallersLocale)
{
    const std::locale comma(std::locale::classic(), new CommaDecimal);
    niPtreeData data;
    ASSERT_TRUE(niTypes::parseTypedValue(data, "float : 1,5", comma));
    EXPECT_EQ(data.get<float>(), 1.5f);
    ASSERT_TRUE(niTypes::parseTypedValue(data, "vector double : 2, 0,25, 4", comma));
    EXPECT_EQ(data.get<std::vector<double>>(), (std::vector<double>{0.25, 4.0}));
    EXPECT_FALSE(niTypes::parseTypedValue(data, "float : 1,5", std::locale::classic()));
}

}  // namespace
