// Command lines read by QtArgCmdLine over main's argument set and over a small flag set: each case gives the
// exception and its exact text, or every argument's defined / present / value afterwards.
#include <gtest/gtest.h>

#include <QMetaType>

#include <functional>
#include <optional>

#include "qtarg/QtArgExceptions.h"
#include "qtarg/tests/QtArgTestFixtures.h"

using namespace qtargtest;

namespace {

struct State {
    bool defined;
    bool present;
    QVariant value;
};

const State unset{false, false, QVariant()};
const State on{true, true, QVariant(true)};
const State bare{false, true, QVariant()};  // given without its value
State text(const char* value)
{
    return {true, true, QVariant(QString::fromUtf8(value))};
}

struct Failure {
    const char* type;
    std::function<bool(const QtArgBaseException&)> isType;
    QString text;
};

template <class E>
Failure failure(const char* type, const char* text)
{
    return {type, [](const QtArgBaseException& e) { return typeid(e) == typeid(E); }, QString::fromUtf8(text)};
}
#define FAILS(Type, text) failure<Type>(#Type, text)

struct LineCase {
    const char* title;
    std::vector<std::string> line;
    std::optional<Failure> failure;
    std::vector<State> states;  // one per argument of the fixture, in its all() order
    QStringList notified = {};  // observer calls, flag fixture only
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << c.title << ":";
    for (const std::string& element : c.line)
        *os << " [" << element << "]";
}

LineCase ok(const char* title, std::vector<std::string> line, std::vector<State> states, QStringList notified = {})
{
    return {title, std::move(line), std::nullopt, std::move(states), std::move(notified)};
}

LineCase fails(const char* title, std::vector<std::string> line, Failure failure)
{
    return {title, std::move(line), std::move(failure), {}};
}

std::string describe(const QVariant& value)
{
    if (!value.isValid())
        return "invalid";
    return std::string(value.typeName()) + " " + value.toString().toStdString();
}

template <class Fixture>
void runLine(const LineCase& c)
{
    Fixture fixture;
    Argv argv(c.line);
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    fixture.registerWith(cmdLine);

    if (c.failure) {
        try {
            cmdLine.parse();
            ADD_FAILURE() << "parse did not throw; expected " << c.failure->type;
        } catch (const QtArgBaseException& e) {
            EXPECT_TRUE(c.failure->isType(e)) << "expected " << c.failure->type << ", got " << typeid(e).name();
            EXPECT_EQ(e.message(), c.failure->text);
            EXPECT_EQ(std::string(e.what()), c.failure->text.toLocal8Bit().toStdString());
        }
        return;
    }

    ASSERT_NO_THROW(cmdLine.parse());
    const std::vector<const QtArg*> args = fixture.all();
    ASSERT_EQ(args.size(), c.states.size());
    for (size_t i = 0; i < args.size(); ++i) {
        const QtArg& arg = *args[i];
        const State& want = c.states[i];
        SCOPED_TRACE(arg.label().toStdString());
        EXPECT_EQ(arg.isDefined(), want.defined);
        EXPECT_EQ(arg.isPresent(), want.present);
        EXPECT_EQ(arg.value().userType(), want.value.userType()) << describe(arg.value());
        EXPECT_EQ(arg.value(), want.value) << describe(arg.value());
    }
    if constexpr (std::is_same_v<Fixture, FlagArguments>) {
        EXPECT_EQ(fixture.notified, c.notified);
    }
}

std::string caseName(const testing::TestParamInfo<LineCase>& info)
{
    return info.param.title;
}

// install, update, product, version, processId
class MainLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(MainLineTest, Parses)
{
    runLine<MainArguments>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MainLineTest,
    testing::Values(
        ok("Empty", {}, {unset, unset, unset, unset, unset}),
        ok("SwitchAfterTwoDashes", {"--install"}, {on, unset, unset, unset, unset}),
        ok("SwitchAfterSlash", {"/update"}, {unset, on, unset, unset, unset}),
        ok("SlashAndDashes", {"/--update"}, {unset, on, unset, unset, unset}),
        ok("UniquePrefix", {"--inst"}, {on, unset, unset, unset, unset}),
        ok("SlashPrefix", {"/prod", "Scan Studio"}, {unset, unset, text("Scan Studio"), unset, unset}),
        ok("ValueFromNextElement", {"--install", "--product", "Scan", "--version", "1.4.2", "--processId", "42"},
           {on, unset, text("Scan"), text("1.4.2"), text("42")}),
        ok("ValueAfterEquals", {"--product=Scan"}, {unset, unset, text("Scan"), unset, unset}),
        ok("EmptyValueAfterEquals", {"--product="}, {unset, unset, text(""), unset, unset}),
        ok("ValueKeepsLaterEquals", {"--product=a=b"}, {unset, unset, text("a=b"), unset, unset}),
        ok("EveryValueAfterEquals", {"--product=A", "--version=B", "/processId=C", "--update"},
           {unset, on, text("A"), text("B"), text("C")}),
        ok("ValueLooksLikeName", {"--product", "--update"}, {unset, unset, text("--update"), unset, unset}),
        ok("ValueLooksLikeFlag", {"--version", "-1"}, {unset, unset, unset, text("-1"), unset}),
        ok("LastValueWins", {"--product", "A", "--product", "B"}, {unset, unset, text("B"), unset, unset}),
        ok("SwitchTwice", {"--update", "--update"}, {unset, on, unset, unset, unset}),
        ok("LoneDashIsEmptyCluster", {"-", "--install"}, {on, unset, unset, unset, unset}),
        ok("ValueDecodedFromLocale", {"--product", "Café"}, {unset, unset, text("Café"), unset, unset}),

        fails("ValueMissingAtEnd", {"--install", "--product"},
              FAILS(QtArgNotDefinedOptionForTheArgumentEx, "Not defined value of the argument: product")),
        fails("BothSwitches", {"--install", "--update"},
              FAILS(QtArgXORMaskNotObservedEx,
                    "Defined more than one argument under XOR mask. First defined argument: install. Second "
                    "defined argument: update.")),
        fails("BothSwitchesNamedInMemberOrder", {"/update", "/install"},
              FAILS(QtArgXORMaskNotObservedEx,
                    "Defined more than one argument under XOR mask. First defined argument: install. Second "
                    "defined argument: update.")),
        // The group is registered first, so its test comes before product's missing value.
        fails("GroupCheckedBeforeLaterArguments", {"--install", "--update", "--product"},
              FAILS(QtArgXORMaskNotObservedEx,
                    "Defined more than one argument under XOR mask. First defined argument: install. Second "
                    "defined argument: update.")),
        fails("UnknownStopsBeforeGroupTest", {"--install", "--update", "--bogus"},
              FAILS(QtArgUnknownArgumentEx, "Unknown argument: --bogus")),
        fails("NamesAreCaseSensitive", {"--Install"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --Install")),
        fails("ThreeDashes", {"---install"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: ---install")),
        fails("AmbiguousPrefix", {"--p"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --p")),
        fails("AmbiguousPrefixAfterSlash", {"/pro"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --pro")),
        fails("TwoDashesAlone", {"--"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --")),
        fails("SlashAlone", {"/"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --")),
        fails("UnknownNameWithValue", {"--vendor=Belmo"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --vendor")),
        fails("UnknownNonAscii", {"--größe"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --größe")),
        fails("NoFlagsDeclared", {"-i"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: -i")),
        fails("ValueForSwitch", {"--install=yes"},
              FAILS(QtArgUnexpectedOptionEx,
                    "Unexpected option: yes. Argument \"--install\" doesn't expect any values.")),
        fails("StrayFirstElement", {"install"},
              FAILS(QtArgUnexpectedOptionEx, "Unexpected option: install. Argument \"\" doesn't expect any values.")),
        fails("StrayAfterValueNamesArgumentAsTyped", {"/prod=Scan", "Studio"},
              FAILS(QtArgUnexpectedOptionEx,
                    "Unexpected option: Studio. Argument \"/prod\" doesn't expect any values.")),
        fails("StrayNamePartOnly", {"--update", "key=value"},
              FAILS(QtArgUnexpectedOptionEx,
                    "Unexpected option: key. Argument \"--update\" doesn't expect any values.")),
        // A user's text that holds a placeholder is not substituted again.
        fails("PlaceholderInUserText", {"--install", "x%2"},
              FAILS(QtArgUnexpectedOptionEx,
                    "Unexpected option: x%2. Argument \"--install\" doesn't expect any values."))),
    caseName);

// quiet (-q), output (-o, value), level (-l, digits), lev
class FlagLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(FlagLineTest, Parses)
{
    runLine<FlagArguments>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FlagLineTest,
    testing::Values(
        ok("ClusterLastFlagTakesNextElement", {"-qo", "X"}, {on, text("X"), unset, unset}, {"quiet", "output"}),
        ok("ClusterFlagTakesRest", {"-qoX"}, {on, text("X"), unset, unset}, {"quiet", "output"}),
        ok("ClusterRestIsValueNotFlags", {"-oq"}, {unset, text("q"), unset, unset}, {"output"}),
        ok("ClusterValueAfterEquals", {"-qo=X"}, {on, text("X"), unset, unset}, {"quiet", "output"}),
        ok("FlagEmptyValueAfterEquals", {"-o="}, {unset, text(""), unset, unset}, {"output"}),
        ok("FlagValueLooksLikeFlag", {"-o", "-q"}, {unset, text("-q"), unset, unset}, {"output"}),
        ok("ConstraintAccepts", {"-l42", "--level", "7"}, {unset, unset, text("7"), unset}, {"level", "level"}),
        ok("FlagTwice", {"-q", "-qq"}, {on, unset, unset, unset}, {"quiet", "quiet", "quiet"}),
        ok("LoneDash", {"-"}, {unset, unset, unset, unset}, {}),
        ok("ExactNameBeatsEarlierPrefix", {"--lev"}, {unset, unset, unset, on}, {"lev"}),
        ok("PrefixOfOneName", {"--leve", "3"}, {unset, unset, text("3"), unset}, {"level"}),
        ok("NameAndFlagAreOneArgument", {"--quiet", "-q"}, {on, unset, unset, unset}, {"quiet", "quiet"}),

        fails("AmbiguousPrefix", {"--le"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: --le")),
        fails("UnknownFlagInCluster", {"-qz"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: -z")),
        fails("SlashInCluster", {"-/q"}, FAILS(QtArgUnknownArgumentEx, "Unknown argument: -/")),
        fails("ValueForSwitchFlag", {"-q=X"},
              FAILS(QtArgUnexpectedOptionEx, "Unexpected option: X. Argument \"-q\" doesn't expect any values.")),
        fails("StrayAfterCluster", {"-qo", "A", "B"},
              FAILS(QtArgUnexpectedOptionEx, "Unexpected option: B. Argument \"-o\" doesn't expect any values.")),
        fails("ConstraintRejectsRest", {"-lq"},
              FAILS(QtArgContraintNotObservedEx,
                    "Constraint for the argument: level hasn't observed. Wrong value is: q")),
        fails("ConstraintRejectsNamedValue", {"--level", "5x", "--bogus"},
              FAILS(QtArgContraintNotObservedEx,
                    "Constraint for the argument: level hasn't observed. Wrong value is: 5x")),
        fails("FlagValueMissingAtEnd", {"-ql"},
              FAILS(QtArgNotDefinedOptionForTheArgumentEx, "Not defined value of the argument: level"))),
    caseName);

// Observers always receive the parser's cursor, also for a flag inside a cluster: what they take from it is
// not read as part of the command line.
class TakingObserver : public QtArgObserver {
public:
    void notify(QtArgCmdLineCursor& cursor) override { taken.append(cursor.next()); }
    QStringList taken;
};

TEST(QtArgCmdLineObserver, ReceivesParserCursorInsideCluster)
{
    TakingObserver observer;
    QtArg quiet(QStringLiteral("quiet"), QString(), false, false, &observer);
    quiet.setFlag(QLatin1Char('q'));
    QtArg output(QStringLiteral("output"), QString(), false, true);
    output.setFlag(QLatin1Char('o'));
    Argv argv({"-qo", "A", "B"});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    cmdLine.addArg(quiet);
    cmdLine.addArg(output);

    cmdLine.parse();

    EXPECT_EQ(observer.taken, QStringList{QStringLiteral("A")});
    EXPECT_EQ(output.value(), QVariant(QStringLiteral("B")));
}

TEST(QtArgCmdLineObserver, CalledAfterProcessAndBeforeConstraint)
{
    struct SeeingObserver : QtArgObserver {
        const QtArg* arg = nullptr;
        QVariant seen;
        void notify(QtArgCmdLineCursor&) override { seen = arg->value(); }
    } observer;
    DigitsConstraint digits;
    QtArg level(QStringLiteral("level"), QString(), false, true, &observer, &digits);
    observer.arg = &level;
    Argv argv({"--level=x"});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    cmdLine.addArg(level);

    EXPECT_THROW(cmdLine.parse(), QtArgContraintNotObservedEx);
    EXPECT_EQ(observer.seen, QVariant(QStringLiteral("x")));
}

TEST(QtArgCmdLine, RequiredArgumentReportedAfterWholeLine)
{
    QtArg name(QStringLiteral("name"), QString(), true, true);
    QtArg quiet(QStringLiteral("quiet"), QString());
    {
        Argv argv({"--quiet", "--bogus"});
        QtArgCmdLine cmdLine(argv.argc(), argv.argv());
        cmdLine.addArg(name);
        cmdLine.addArg(quiet);
        EXPECT_THROW(cmdLine.parse(), QtArgUnknownArgumentEx);
    }
    Argv argv({"--quiet"});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    cmdLine.addArg(name);
    cmdLine.addArg(quiet);
    try {
        cmdLine.parse();
        ADD_FAILURE() << "missing required argument not reported";
    } catch (const QtArgNotDefinedMandatoryArgumentEx& e) {
        EXPECT_STREQ(e.what(), "Not defined mandatory argument: name");
    }
    EXPECT_TRUE(quiet.isDefined());
}

TEST(QtArgCmdLine, SecondParseOnlyRepeatsChecks)
{
    MainArguments args;
    Argv argv({"--product", "A", "--install", "--update"});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    args.registerWith(cmdLine);
    EXPECT_THROW(cmdLine.parse(), QtArgXORMaskNotObservedEx);
    EXPECT_THROW(cmdLine.parse(), QtArgXORMaskNotObservedEx);
    EXPECT_EQ(args.product.value(), QVariant(QStringLiteral("A")));
}

TEST(QtArgCmdLine, OtherDelimiter)
{
    MainArguments args;
    QtArg quiet(QStringLiteral("quiet"), QString());
    quiet.setFlag(QLatin1Char('q'));
    Argv argv({"++product=A", "+q", "/install", "--update"});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    cmdLine.setDelimiter(QLatin1Char('+'));
    EXPECT_EQ(cmdLine.delimiter(), QLatin1Char('+'));
    args.registerWith(cmdLine);
    cmdLine.addArg(quiet);
    EXPECT_TRUE(cmdLine.isName(QStringLiteral("++x")));
    EXPECT_TRUE(cmdLine.isFlag(QStringLiteral("+x")));
    EXPECT_FALSE(cmdLine.isFlag(QStringLiteral("-x")));

    try {
        cmdLine.parse();
        ADD_FAILURE() << "two dashes are no longer a name";
    } catch (const QtArgUnexpectedOptionEx& e) {
        EXPECT_STREQ(e.what(), "Unexpected option: --update. Argument \"/install\" doesn't expect any values.");
    }
    EXPECT_EQ(args.product.value(), QVariant(QStringLiteral("A")));
    EXPECT_TRUE(quiet.isDefined());
    EXPECT_TRUE(args.install.isDefined());
}

TEST(QtArgCmdLineCursor, InsertedElementIsReadNext)
{
    QtArgCmdLineCursor cursor(QStringList{QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(cursor.next(), QStringLiteral("a"));
    cursor.insert(QStringLiteral("x"));
    QtArgCmdLineCursor copy = cursor;
    EXPECT_EQ(cursor.next(), QStringLiteral("x"));
    EXPECT_EQ(cursor.next(), QStringLiteral("b"));
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_TRUE(cursor.next().isNull());
    cursor.insert(QStringLiteral("y"));
    EXPECT_FALSE(cursor.atEnd());
    EXPECT_EQ(cursor.next(), QStringLiteral("y"));
    EXPECT_EQ(copy.next(), QStringLiteral("x"));
}

}  // namespace
