#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "nitypes/StringConversion.h"

using niTypes::narrowToWide;
using niTypes::wideToNarrow;

namespace {

// Runs a test body under one LC_CTYPE locale and puts the previous one back.
class CtypeLocale {
public:
    explicit CtypeLocale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr))
    {
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string previous_;
    bool ok_ = false;
};

TEST(StringConversion, Utf8RoundTrip)
{
    CtypeLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    const std::string narrow = "Kalibrierung \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80!";
    const std::wstring wide = L"Kalibrierung \u00e9t\u00e9 \u20ac \U0001F600!";
    EXPECT_EQ(narrowToWide(narrow), wide);
    EXPECT_EQ(wideToNarrow(wide), narrow);
    // Four bytes per wide character, the most UTF-8 needs here, still come back whole.
    EXPECT_EQ(wideToNarrow(std::wstring(5, L'\U0001F600')).size(), 20u);
}

TEST(StringConversion, EmptyAndUnconvertibleGiveEmpty)
{
    CtypeLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    EXPECT_EQ(narrowToWide(""), L"");
    EXPECT_EQ(wideToNarrow(L""), "");
    EXPECT_EQ(narrowToWide("ok \xff"), L"");
    EXPECT_EQ(wideToNarrow(std::wstring(L"ok ") + wchar_t(0xD800)), "");
}

TEST(StringConversion, FollowsTheCurrentLocale)
{
    CtypeLocale classic("C");
    ASSERT_TRUE(classic.ok());
    EXPECT_EQ(narrowToWide("plain"), L"plain");
    EXPECT_EQ(wideToNarrow(L"plain"), "plain");
    EXPECT_EQ(narrowToWide("\xc3\xa9"), L"");
    EXPECT_EQ(wideToNarrow(L"\u00e9"), "");
}

}  // namespace
