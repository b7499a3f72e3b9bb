#include <gtest/gtest.h>

#include <boost/property_tree/xml_parser.hpp>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "nitypes/niPtree.h"

using niTypes::niPtree;
using niTypes::niString;
namespace xml = boost::property_tree::xml_parser;

namespace {

niPtree readXml(const std::string& text, int flags)
{
    std::istringstream in(text);
    niPtree tree;
    boost::property_tree::read_xml(in, tree, flags);
    return tree;
}

std::string readError(const std::string& text, int flags)
{
    try {
        readXml(text, flags);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

const char* const description = R"(<?xml version="1.0"?>
<Belmo>
  <!-- scanner description -->
  <Device kind="scanner">
    <Info>
      <serial>string : AB-1234</serial>
      <camera>string : LUM</camera>
      <camera_id>string : 10042</camera_id>
      <cid>string : 7</cid>
      <flip_image>bool : 1</flip_image>
    </Info>
    <Camera>
      <exposure>float : 12.5</exposure>
      <gain>int : 3</gain>
      <color>color : 16711935</color>
      <wb>vector float : 3, 1.0, 1.25, 0.5</wb>
      <mode>enum string-int : 1 0 2 fast,1 slow,2</mode>
      <names>vector strings : 2, "left", "right"</names>
      <note><![CDATA[string : <raw> & text]]></note>
    </Camera>
  </Device>
</Belmo>
)";

TEST(TypedTreeXml, ReadsADescriptionWithTypedValues)
{
    const niPtree tree = readXml(description, xml::trim_whitespace);
    const niPtree& info = tree.get_child("Belmo.Device.Info");
    EXPECT_EQ(info.get<niString>("serial", niString()), niString("AB-1234"));
    EXPECT_EQ(info.get<niString>("camera"), niString("LUM"));
    EXPECT_EQ(info.get<niString>("camera_clr_id", niString()), niString(""));
    EXPECT_TRUE(info.get<bool>("flip_image"));

    const niPtree& camera = tree.get_child("Belmo.Device.Camera");
    EXPECT_EQ(camera.get<float>("exposure"), 12.5f);
    EXPECT_EQ(camera.get<double>("exposure"), 12.5);
    EXPECT_EQ(camera.get<int>("gain"), 3);
    EXPECT_EQ(camera.get<niTypes::niColor>("color"), niTypes::niColor(16711935u));
    EXPECT_EQ(camera.get<std::vector<float>>("wb"), (std::vector<float>{1.0f, 1.25f, 0.5f}));
    const auto mode = camera.get<niTypes::niStringIntEnumeration>("mode");
    EXPECT_EQ(mode.items, (std::map<std::string, int>{{"fast", 1}, {"slow", 2}}));
    EXPECT_EQ(camera.get<std::vector<niString>>("names"), (std::vector<niString>{"left", "right"}));
    EXPECT_EQ(camera.get<niString>("note"), niString("<raw> & text"));

    // Elements with children and only blanks between them keep no value.
    EXPECT_TRUE(tree.get_child("Belmo").data().empty());
    EXPECT_TRUE(tree.get_child("Belmo.Device").data().empty());
}

TEST(TypedTreeXml, CommentsAndAttributesCarryNoTypedValue)
{
    const niPtree tree = readXml(description, xml::trim_whitespace);
    const niPtree& comment = tree.get_child("Belmo.<xmlcomment>");
    EXPECT_EQ(boost::any_cast<std::string>(comment.data().value), " scanner description ");

    const niPtree& kind = tree.get_child("Belmo.Device.<xmlattr>.kind");
    EXPECT_FALSE(kind.data().empty());
    EXPECT_THROW(kind.get_value<niString>(), std::runtime_error);

    const niPtree dropped = readXml(description, xml::trim_whitespace | xml::no_comments);
    EXPECT_EQ(dropped.get_child("Belmo").count("<xmlcomment>"), 0u);
}

TEST(TypedTreeXml, KeysAreExactAndCaseSensitive)
{
    const niPtree tree = readXml(description, xml::trim_whitespace);
    EXPECT_EQ(tree.get<niString>("Belmo.Device.Info.Serial", niString("none")), niString("none"));
    EXPECT_FALSE(tree.get_child_optional("belmo"));
}

TEST(TypedTreeXml, TextOnBothSidesOfAChildIsRefused)
{
    const std::string notEmpty = "Error at niTypes::niPtreeData::operator +=: data is not empty.";
    // Kept blanks after the child element are a second piece.
    EXPECT_EQ(readError("<a>int : 5<b>int : 1</b>\n</a>", 0), notEmpty);
    // Trimmed, the blank piece is gone; text after a comment still is a second piece.
    EXPECT_NO_THROW(readXml("<a>int : 5<b>int : 1</b>\n</a>", xml::trim_whitespace));
    EXPECT_EQ(readError("<a>int : 5<!-- c -->int : 6</a>", xml::trim_whitespace), notEmpty);
}

TEST(TypedTreeXml, BlanksAreTheCallersChoice)
{
    const niPtree kept = readXml("<r>\n  <a> int : 5</a>\n  <b>int : 6</b>\n</r>", 0);
    EXPECT_TRUE(kept.get_child("r").data().empty());
    EXPECT_TRUE(kept.get_child("r.a").data().empty());
    EXPECT_EQ(kept.get<int>("r.b"), 6);

    const niPtree trimmed = readXml("<r>\n  <a> int : 5</a>\n</r>", xml::trim_whitespace);
    EXPECT_EQ(trimmed.get<int>("r.a"), 5);
}

TEST(TypedTreeXml, TextPiecesKeptApartAreStrings)
{
    const niPtree tree = readXml("<a>int : 5</a>", xml::no_concat_text);
    EXPECT_TRUE(tree.get_child("a").data().empty());
    const niPtree& text = tree.get_child("a.<xmltext>");
    EXPECT_EQ(boost::any_cast<std::string>(text.data().value), "int : 5");
    EXPECT_THROW(text.get_value<int>(), std::runtime_error);
}

TEST(TypedTreeXml, AMalformedValueFailsTheRead)
{
    EXPECT_EQ(readError("<r><a>int : 5x</a></r>", xml::trim_whitespace),
              "Error at niTypes::niPtreeData::operator +=: failed extract value from 'int : 5x'");
    EXPECT_EQ(readError("<r><a>vector int : -3</a></r>", xml::trim_whitespace),
              "Error at niTypes::niPtreeData::operator +=: failed extract value from 'vector int : -3'");
}

}  // namespace
