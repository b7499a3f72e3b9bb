// Declaring arguments: the name and flag rules checked when they are registered, exclusive groups, and the
// checks run after a command line was read.
#include <gtest/gtest.h>

#include <optional>

#include "qtarg/QtArgExceptions.h"
#include "qtarg/tests/QtArgTestFixtures.h"

using namespace qtargtest;

namespace {

// An argument known only by its flags (none at all when flags is empty).
class FlagOnlyArg : public QtArg {
public:
    explicit FlagOnlyArg(const QString& flags, bool required = false, bool withValue = false)
        : QtArg(QString(), QString(), required, withValue)
    {
        m_names.clear();
        for (const QChar flag : flags)
            m_flags.append(flag);
    }
};

struct Declared {
    const char* name;  // null: an argument without names
    const char* flags;
};

struct DeclarationCase {
    const char* title;
    std::vector<Declared> declared;  // registered in order; only the last may fail
    const char* error;               // null: all accepted
};

void PrintTo(const DeclarationCase& c, std::ostream* os)
{
    *os << c.title;
}

std::unique_ptr<QtArg> declare(const Declared& d)
{
    const QString flags = QString::fromUtf8(d.flags);
    if (!d.name)
        return std::make_unique<FlagOnlyArg>(flags);
    auto arg = std::make_unique<QtArg>(QString::fromUtf8(d.name), QString());
    arg->setFlags(QList<QChar>(flags.begin(), flags.end()));
    return arg;
}

class DeclarationTest : public testing::TestWithParam<DeclarationCase> {};

TEST_P(DeclarationTest, Registers)
{
    const DeclarationCase& c = GetParam();
    Argv argv({});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    std::vector<std::unique_ptr<QtArg>> args;
    for (const Declared& d : c.declared)
        args.push_back(declare(d));

    for (size_t i = 0; i + 1 < args.size(); ++i)
        ASSERT_NO_THROW(cmdLine.addArg(*args[i]));
    if (!c.error) {
        EXPECT_NO_THROW(cmdLine.addArg(args.back().get()));
        EXPECT_NO_THROW(cmdLine.parse());
        return;
    }
    try {
        cmdLine.addArg(args.back().get());
        ADD_FAILURE() << "accepted";
    } catch (const QtArgBaseException& e) {
        EXPECT_STREQ(e.what(), c.error);
    }
    // The rejected argument stays registered, so parsing fails the same way.
    EXPECT_EQ(cmdLine.argumentList().size(), int(args.size()));
    EXPECT_THROW(cmdLine.parse(), QtArgBaseException);
}

std::string declarationName(const testing::TestParamInfo<DeclarationCase>& info)
{
    return info.param.title;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeclarationTest,
    testing::Values(
        DeclarationCase{"Accepted", {{"product", ""}, {"-dash", "7"}, {nullptr, "xß"}, {"processId", "P"}}, nullptr},
        DeclarationCase{"EmptyName", {{"", ""}}, "Dissallowed name: \"\"."},
        DeclarationCase{"BlankInName", {{"product name", ""}}, "Dissallowed name: \"product name\"."},
        DeclarationCase{"TabInName", {{"a\tb", "a"}}, "Dissallowed name: \"a\tb\"."},
        DeclarationCase{"DashFlag", {{"x", "-"}}, "Dissallowed flag: \"-\"."},
        DeclarationCase{"NumberSignFlag", {{"x", "a#"}}, "Dissallowed flag: \"#\"."},
        DeclarationCase{"SharedFlag", {{"x", "f"}, {nullptr, "gf"}}, "Flag already in use: f."},
        DeclarationCase{"SharedName", {{"product", "p"}, {"version", ""}, {"product", ""}},
                        "Name already in use: product."},
        DeclarationCase{"NeitherNameNorFlag", {{"x", ""}, {nullptr, ""}},
                        "Not defined nor name nor flag for argument."}),
    declarationName);

TEST(QtArgCmdLineDeclaration, GroupMembersShareNamesWithOtherArguments)
{
    MainArguments args;
    QtArg update(QStringLiteral("update"), QString());
    Argv argv({});
    QtArgCmdLine cmdLine(argv.argc(), argv.argv());
    args.registerWith(cmdLine);
    cmdLine.addArg(args.mainSwitch);  // already registered: nothing happens
    cmdLine.addArg(static_cast<QtArgIface*>(nullptr));
    EXPECT_EQ(cmdLine.argumentList().size(), 4);
    try {
        cmdLine.addArg(update);
        ADD_FAILURE() << "accepted";
    } catch (const QtArgNameOrFlagAlreadyKnownEx& e) {
        EXPECT_STREQ(e.what(), "Name already in use: update.");
    }
}

TEST(QtArg, ProcessTakesWhatItNeedsFromCursor)
{
    QtArg sw(QStringLiteral("install"), QString());
    QtArg value(QStringLiteral("product"), QString(), false, true);
    QtArgCmdLineCursor cursor(QStringList{QStringLiteral("--x")});

    EXPECT_FALSE(sw.process(cursor));
    EXPECT_EQ(sw.value().userType(), int(QMetaType::Bool));
    EXPECT_TRUE(sw.value().toBool());
    EXPECT_FALSE(cursor.atEnd());

    EXPECT_TRUE(value.process(cursor));
    EXPECT_EQ(value.value(), QVariant(QStringLiteral("--x")));

    QtArg last(QStringLiteral("version"), QString(), false, true);
    EXPECT_FALSE(last.process(cursor));
    EXPECT_TRUE(last.isPresent());
    EXPECT_FALSE(last.isDefined());
    EXPECT_FALSE(last.value().isValid());
}

// Messages name an argument by its first name, else its first flag, else by nothing.
TEST(QtArg, MandatoryArgumentLabels)
{
    const QtArg named(QStringLiteral("name"), QString(), true);
    const FlagOnlyArg flagged(QStringLiteral("fg"), true);
    const FlagOnlyArg nameless(QString(), true);
    const QtArg optional(QStringLiteral("optional"), QString(), false, true);
    const std::pair<const QtArg*, const char*> cases[] = {
        {&named, "Not defined mandatory argument: name"},
        {&flagged, "Not defined mandatory argument: f"},
        {&nameless, "Not defined mandatory argument: "},
    };
    for (const auto& [arg, text] : cases) {
        try {
            arg->check();
            ADD_FAILURE() << text;
        } catch (const QtArgNotDefinedMandatoryArgumentEx& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
    EXPECT_NO_THROW(optional.check());
}

TEST(QtXorArg, MembersSkipNullAndRepeats)
{
    QtArg a(QStringLiteral("a"), QString());
    QtArg b(QStringLiteral("b"), QString());
    QtXorArg group({&a, nullptr, &b, &a}, QStringLiteral("g"));
    EXPECT_EQ(group.argumentList(), (QList<QtArgIface*>{&a, &b}));
    EXPECT_TRUE(group.names().isEmpty());
    EXPECT_TRUE(group.flags().isEmpty());

    QtArg required(QStringLiteral("r"), QString(), true);
    try {
        QtXorArg rejected({&a, &required}, QStringLiteral("g"));
        ADD_FAILURE() << "required member accepted";
    } catch (const QtArgRequiredArgumentUnderXORMaskEx& e) {
        EXPECT_STREQ(e.what(), "A try to add required argument under the XOR mask.");
    }
}

TEST(QtXorArg, LookupsAnswerWithTheMember)
{
    MainArguments args;
    args.update.setFlag(QLatin1Char('u'));
    EXPECT_EQ(args.mainSwitch.findByName(QStringLiteral("up")), &args.update);
    EXPECT_EQ(args.mainSwitch.findByName(QStringLiteral("install")), &args.install);
    EXPECT_EQ(args.mainSwitch.findByName(QStringLiteral("x")), nullptr);
    EXPECT_EQ(args.mainSwitch.findByFlag(QLatin1Char('u')), &args.update);
    EXPECT_EQ(args.mainSwitch.findByFlag(QLatin1Char('i')), nullptr);
    EXPECT_FALSE(args.mainSwitch.isDefined());
    args.update.setValue(true);
    EXPECT_TRUE(args.mainSwitch.isDefined());
}

struct GroupCheckCase {
    const char* title;
    bool required;
    std::vector<char> members;  // d: defined, b: given without its value, -: not given
    const char* error;          // null: passes
    bool nameless = false;      // members without names or flags
};

void PrintTo(const GroupCheckCase& c, std::ostream* os)
{
    *os << c.title;
}

class GroupCheckTest : public testing::TestWithParam<GroupCheckCase> {};

TEST_P(GroupCheckTest, Checks)
{
    const GroupCheckCase& c = GetParam();
    std::vector<std::unique_ptr<QtArg>> members;
    QList<QtArg*> list;
    for (size_t i = 0; i < c.members.size(); ++i) {
        if (c.nameless)
            members.push_back(std::make_unique<FlagOnlyArg>(QString()));
        else
            members.push_back(std::make_unique<QtArg>(QStringLiteral("m%1").arg(i), QString(), false, true));
        QtArgCmdLineCursor empty;
        if (c.members[i] == 'd')
            members.back()->setValue(QStringLiteral("v"));
        else if (c.members[i] == 'b')
            members.back()->process(empty);
        list.append(members.back().get());
    }
    const QtXorArg group(list, QStringLiteral("main switch"), c.required);
    if (!c.error) {
        EXPECT_NO_THROW(group.check());
        return;
    }
    try {
        group.check();
        ADD_FAILURE() << "passed";
    } catch (const QtArgBaseException& e) {
        EXPECT_STREQ(e.what(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GroupCheckTest,
    testing::Values(
        GroupCheckCase{"NoneGiven", false, {'-', '-'}, nullptr},
        GroupCheckCase{"OneGiven", true, {'-', 'd', '-'}, nullptr},
        GroupCheckCase{"RequiredNoneGiven", true, {'-', '-'}, "Not defined mandatory argument: main switch"},
        GroupCheckCase{"TwoGiven", false, {'-', 'd', '-', 'd', 'd'},
                       "Defined more than one argument under XOR mask. First defined argument: m1. Second defined "
                       "argument: m3."},
        GroupCheckCase{"MemberValueErrorFirst", false, {'d', 'b', 'd'}, "Not defined value of the argument: m1"},
        GroupCheckCase{"NamelessMembers", false, {'d', 'd'},
                       "Defined more than one argument under XOR mask. First defined argument: . Second defined "
                       "argument: .",
                       true}),
    [](const testing::TestParamInfo<GroupCheckCase>& info) { return std::string(info.param.title); });

}  // namespace
