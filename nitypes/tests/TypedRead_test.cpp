#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "nitypes/niPtree.h"

using niTypes::niColor;
using niTypes::niPtree;
using niTypes::niPtreeData;
using niTypes::niString;

namespace {

std::string errorOf(const std::function<void()>& read)
{
    try {
        read();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// Every held type reads back unchanged, from the value and through the tree.
template <class T>
struct Sample;
template <> struct Sample<int> { static int value() { return -42; } };
template <> struct Sample<float> { static float value() { return 0.1f; } };
template <> struct Sample<double> { static double value() { return 0.1; } };
template <> struct Sample<bool> { static bool value() { return true; } };
template <> struct Sample<niString> { static niString value() { return niString("a: b"); } };
template <> struct Sample<niColor> { static niColor value() { return niColor(0xff00ff00u); } };
template <> struct Sample<std::vector<int>> { static std::vector<int> value() { return {1, -2}; } };
template <> struct Sample<std::vector<float>> { static std::vector<float> value() { return {0.5f}; } };
template <> struct Sample<std::vector<double>> { static std::vector<double> value() { return {0.25, 1e300}; } };
template <> struct Sample<std::vector<char>> { static std::vector<char> value() { return {'x', 'y'}; } };
template <> struct Sample<std::vector<niString>> { static std::vector<niString> value() { return {"p", ""}; } };
template <> struct Sample<niTypes::niStringIntEnumeration> {
    static niTypes::niStringIntEnumeration value()
    {
        niTypes::niStringIntEnumeration e;
        e.items = {{"on", 1}, {"off", 0}};
        e.first = 2;
        e.second = 3;
        return e;
    }
};

template <class T>
class HeldTypeTest : public ::testing::Test {};

using HeldTypes = ::testing::Types<int, float, double, bool, niString, niColor, std::vector<int>, std::vector<float>,
                                   std::vector<double>, std::vector<char>, std::vector<niString>,
                                   niTypes::niStringIntEnumeration>;
TYPED_TEST_SUITE(HeldTypeTest, HeldTypes);

TYPED_TEST(HeldTypeTest, ReadsBackAsAssignedAndAsPut)
{
    const TypeParam sample = Sample<TypeParam>::value();
    niPtreeData data;
    data = 7;  // replaced by the assignment below
    data = sample;
    EXPECT_EQ(data.value.type(), typeid(TypeParam));
    EXPECT_EQ(data.get<TypeParam>(), sample);

    niPtree tree;
    tree.put("a.b", sample);
    EXPECT_EQ(tree.get_child("a.b").data().value.type(), typeid(TypeParam));
    EXPECT_EQ(tree.get<TypeParam>("a.b"), sample);
    EXPECT_EQ(tree.get_child("a.b").get_value<TypeParam>(), sample);
}

TEST(TypedRead, FloatAndDoubleConvertIntoEachOther)
{
    niPtreeData f;
    f = 0.1f;
    EXPECT_EQ(f.get<double>(), static_cast<double>(0.1f));
    niPtreeData d;
    d = 0.1;
    EXPECT_EQ(d.get<float>(), 0.1f);
    d = 1e300;
    EXPECT_EQ(d.get<float>(), std::numeric_limits<float>::infinity());
    d = -1e300;
    EXPECT_EQ(d.get<float>(), -std::numeric_limits<float>::infinity());

    niPtree tree;
    tree.put("f", 2.5f);
    tree.put("d", -0.75);
    EXPECT_EQ(tree.get<double>("f"), 2.5);
    EXPECT_EQ(tree.get<float>("d"), -0.75f);
}

struct MismatchCase {
    const char* what;
    std::function<void()> read;
    std::string error;
};

void PrintTo(const MismatchCase& c, std::ostream* out)
{
    *out << c.what;
}

niPtreeData holding(boost::any value)
{
    niPtreeData data;
    data.value = std::move(value);
    return data;
}

niPtree treeWith(const niPtreeData& data)
{
    niPtree tree;
    tree.put_child("k", niPtree(data));
    return tree;
}

const std::string get = "Error at niTypes::niPtreeData::get: undefined conversion from ";

class MismatchTest : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(MismatchTest, ThrowsTheOperationsError)
{
    EXPECT_EQ(errorOf(GetParam().read), GetParam().error);
}

const MismatchCase mismatchCases[] = {
    {"int as float", [] { holding(5).get<float>(); }, get + "int to float"},
    {"int as double", [] { holding(5).get<double>(); }, get + "int to double"},
    {"int as bool", [] { holding(1).get<bool>(); }, get + "int to bool"},
    {"niString as int", [] { holding(niString("5")).get<int>(); }, get + "niTypes::niString to int"},
    {"empty as int", [] { niPtreeData().get<int>(); }, get + "void to int"},
    {"float vector as double vector", [] { holding(std::vector<float>{1}).get<std::vector<double>>(); },
     get + "std::vector<float, std::allocator<float> > to std::vector<double, std::allocator<double> >"},
    {"tree int as text", [] { treeWith(holding(5)).get<niString>("k"); },
     "Error at niTypes::id_translator<class niTypes::niString>::get_value: undefined conversion from int to "
     "niTypes::niString"},
    {"tree std::string as text", [] { treeWith(niPtreeData(std::string("x"))).get<niString>("k"); },
     "Error at niTypes::id_translator<class niTypes::niString>::get_value: undefined conversion from "
     "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> > to niTypes::niString"},
    {"tree char pointer as text", [] { treeWith(holding(static_cast<const char*>("x"))).get<niString>("k"); },
     "Error at niTypes::id_translator<class niTypes::niString>::get_value: undefined conversion from char "
     "const* to niTypes::niString"},
    {"tree niString as int", [] { treeWith(holding(niString("5"))).get<int>("k"); },
     "Error at niTypes::id_translator<int>::get_value: undefined conversion from niTypes::niString to int"},
    {"tree double as bool", [] { treeWith(holding(1.0)).get<bool>("k"); },
     "Error at niTypes::id_translator<bool>::get_value: undefined conversion from double to bool"},
    {"tree int as float", [] { treeWith(holding(1)).get<float>("k"); },
     "Error at niTypes::id_translator<float>::get_value: undefined conversion from int to float"},
    {"tree empty as float vector", [] { treeWith(niPtreeData()).get<std::vector<float>>("k"); },
     "Error at niTypes::id_translator<class std::vector<float,class std::allocator<float> > >::get_value: "
     "undefined conversion from void to std::vector<float, std::allocator<float> >"},
    {"tree int vector as double vector", [] { treeWith(holding(std::vector<int>{})).get<std::vector<double>>("k"); },
     "Error at niTypes::id_translator<class std::vector<double,class std::allocator<double> > >::get_value: "
     "undefined conversion from std::vector<int, std::allocator<int> > to std::vector<double, "
     "std::allocator<double> >"},
};

INSTANTIATE_TEST_SUITE_P(Reads, MismatchTest, ::testing::ValuesIn(mismatchCases));

TEST(TypedRead, TreeDefaultOnlyForAMissingPath)
{
    niPtree tree;
    tree.put("Info.serial", niString("S1"));
    tree.put_child("Info.cid", niPtree());
    tree.put("Info.version", 3);

    EXPECT_EQ(tree.get<niString>("Info.serial", niString("d")), niString("S1"));
    EXPECT_EQ(tree.get<niString>("Info.camera", niString("d")), niString("d"));
    EXPECT_EQ(tree.get<int>("Other.x", 9), 9);
    EXPECT_EQ(errorOf([&] { tree.get<niString>("Info.cid", niString("d")); }),
              "Error at niTypes::id_translator<class niTypes::niString>::get_value: undefined conversion from void "
              "to niTypes::niString");
    EXPECT_EQ(errorOf([&] { tree.get<niString>("Info.version", niString("d")); }),
              "Error at niTypes::id_translator<class niTypes::niString>::get_value: undefined conversion from int "
              "to niTypes::niString");
}

TEST(TypedRead, AFailedReadLeavesTheValue)
{
    niPtree tree;
    tree.put("v", std::vector<int>{4, 5});
    EXPECT_THROW(tree.get<std::vector<double>>("v"), std::runtime_error);
    EXPECT_EQ(tree.get<std::vector<int>>("v"), (std::vector<int>{4, 5}));
}

}  // namespace
