// Usage fragments and lines as token templates.
#include <gtest/gtest.h>

#include "qtarg/QtArgUsage.h"
#include "qtarg/tests/QtArgTestFixtures.h"

using namespace qtargtest;

namespace {

struct PrefixCase {
    const char* name;
    QStringList allNames;
    const char* marked;
};

void PrintTo(const PrefixCase& c, std::ostream* os)
{
    *os << c.name << " among " << c.allNames.join(QLatin1Char(',')).toStdString();
}

class UniquePrefixTest : public testing::TestWithParam<PrefixCase> {};

TEST_P(UniquePrefixTest, Marks)
{
    const PrefixCase& c = GetParam();
    EXPECT_EQ(markUniquePrefix(QString::fromUtf8(c.name), c.allNames), QString::fromUtf8(c.marked));
}

INSTANTIATE_TEST_SUITE_P(Cases, UniquePrefixTest,
                         testing::Values(PrefixCase{"product", {"product", "processId"}, "prod[uct]"},
                                         PrefixCase{"processId", {"product", "processId"}, "proc[essId]"},
                                         PrefixCase{"install", {"install", "update"}, "i[nstall]"},
                                         PrefixCase{"install", {}, "i[nstall]"},
                                         PrefixCase{"ver", {"version", "ver"}, "ver"},
                                         PrefixCase{"abc", {"abc", "abd"}, "abc"},
                                         PrefixCase{"Abc", {"abc", "Abc"}, "A[bc]"},
                                         PrefixCase{"x", {"x", "y"}, "x"},
                                         PrefixCase{"", {"a", "b"}, ""}));

const QString beforeFlags = QStringLiteral("%beforeFlags%");
const QString flagMarker = QStringLiteral("%flagMarker%");
const QString afterFlags = QStringLiteral("%afterFlags%");
const QString beforeNames = QStringLiteral("%beforeNames%");
const QString namesSeparator = QStringLiteral("%namesSeparator%");
const QString nameMarker = QStringLiteral("%nameMarker%");
const QString value = QStringLiteral("%value%");
const QString beforeDescription = QStringLiteral("%beforeDescription%");
const QString newLine = QStringLiteral("%newLine%");

class TwoNamedArg : public QtArg {
public:
    TwoNamedArg(const QString& first, const QString& second, bool withValue)
        : QtArg(first, QStringLiteral("two names"), false, withValue)
    {
        m_names.append(second);
    }
};

class FlagsOnlyArg : public QtArg {
public:
    FlagsOnlyArg() : QtArg(QString(), QStringLiteral("flags only")) { m_names.clear(); }
};

TEST(QtArgUsage, FlagsAndSeveralNames)
{
    TwoNamedArg arg(QStringLiteral("verbose"), QStringLiteral("version"), true);
    arg.setFlag(QLatin1Char('v'));
    const QStringList all{QStringLiteral("verbose"), QStringLiteral("version")};
    const QString names = beforeFlags + flagMarker + "v" + afterFlags + nameMarker + "verb[ose]" + namesSeparator +
                          nameMarker + "vers[ion]" + value;
    EXPECT_EQ(arg.usageNames(all), names);
    EXPECT_EQ(arg.usageLine(all), names + beforeDescription + "two names" + newLine);
}

TEST(QtArgUsage, FlagsOnlyAndOneCharacterName)
{
    FlagsOnlyArg flags;
    flags.setFlags({QLatin1Char('a'), QLatin1Char('b')});
    EXPECT_EQ(flags.usageNames({}), beforeFlags + flagMarker + "ab");

    QtArg one(QStringLiteral("n"), QString(), false, true);
    one.setFlag(QLatin1Char('n'));
    EXPECT_EQ(one.usageNames({QStringLiteral("n"), QStringLiteral("name")}),
              beforeFlags + flagMarker + "n" + afterFlags + nameMarker + "n" + value);
}

TEST(QtArgUsage, MainArgumentsAndGroup)
{
    MainArguments args;
    QStringList all;
    for (const QtArg* arg : args.all())
        all += arg->names();

    EXPECT_EQ(args.product.usageLine(all),
              beforeNames + nameMarker + "prod[uct]" + value + beforeDescription + "product name" + newLine);
    EXPECT_EQ(args.processId.usageNames(all), beforeNames + nameMarker + "proc[essId]" + value);
    EXPECT_EQ(args.version.usageNames(all), beforeNames + nameMarker + "v[ersion]" + value);

    const QString install = beforeNames + nameMarker + "i[nstall]";
    const QString update = beforeNames + nameMarker + "u[pdate]";
    EXPECT_EQ(args.mainSwitch.usageNames(all), install + " | " + update);
    EXPECT_EQ(args.mainSwitch.usageLine(all), install + beforeDescription + "silent installation" + newLine +
                                                  update + beforeDescription + "silent update calibration" + newLine);
}

}  // namespace
