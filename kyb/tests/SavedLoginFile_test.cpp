#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "kyb/signin/SavedLoginFile.h"
#include "tests/support/TestFiles.h"

namespace {

using ktest::readFile;
using ktest::writeFile;

class SavedLoginFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("kyb.dat"); }
};

TEST_F(SavedLoginFileTest, RoundTripWritesFourLinesWithoutTrailingBreak)
{
    ASSERT_TRUE(dir.isValid());
    SavedLoginFile file(path());
    SavedLogin record;
    record.login = QString::fromUtf8("d\xc3\xa9mo@belmo.example");
    record.machineRecordId = "117";
    // openssl wraps its base64 text in lines of 64 characters.
    record.uok = "U2FsdGVkX18xFCPfvIwgm6gAlt3U42eza3JoLJj3oc1o25ZNZB7fXNCkOQboTpv0\nkOmtKRUTqRFnmTvXMaqI3Lsb7t0M\n";
    record.authToken = "U2FsdGVkX1+uH8Z668XNvHuEfYzT\r\nmLQklPFWaNwRENnr9vUqDFC8ChbY/MQ27Dwm\n";
    ASSERT_TRUE(file.write(record));

    EXPECT_EQ(readFile(path()), QByteArray("d\xc3\xa9mo@belmo.example\n117\n"
                                          "U2FsdGVkX18xFCPfvIwgm6gAlt3U42eza3JoLJj3oc1o25ZNZB7fXNCkOQboTpv0kOmtKRUTqRFnmTvXMaqI3Lsb7t0M\n"
                                          "U2FsdGVkX1+uH8Z668XNvHuEfYzTmLQklPFWaNwRENnr9vUqDFC8ChbY/MQ27Dwm"));
    SavedLogin back;
    ASSERT_TRUE(file.read(&back));
    EXPECT_EQ(back.login, record.login);
    EXPECT_EQ(back.machineRecordId, "117");
    EXPECT_EQ(back.uok, "U2FsdGVkX18xFCPfvIwgm6gAlt3U42eza3JoLJj3oc1o25ZNZB7fXNCkOQboTpv0kOmtKRUTqRFnmTvXMaqI3Lsb7t0M");
    EXPECT_EQ(back.authToken, "U2FsdGVkX1+uH8Z668XNvHuEfYzTmLQklPFWaNwRENnr9vUqDFC8ChbY/MQ27Dwm");
}

TEST_F(SavedLoginFileTest, EmptyFieldDoesNotShiftTheOthers)
{
    SavedLoginFile file(path());
    SavedLogin record;
    record.login = "demo@belmo.example";
    record.uok = "UOK";
    record.authToken = "TOKEN";
    ASSERT_TRUE(file.write(record));
    SavedLogin back;
    ASSERT_TRUE(file.read(&back));
    EXPECT_EQ(back.login, "demo@belmo.example");
    EXPECT_EQ(back.machineRecordId, "");
    EXPECT_EQ(back.uok, "UOK");
    EXPECT_EQ(back.authToken, "TOKEN");
}

TEST_F(SavedLoginFileTest, LineBreakInAFieldCannotAddALine)
{
    SavedLoginFile file(path());
    SavedLogin record;
    record.login = "demo@belmo.example\nforged";
    record.machineRecordId = "1\r\n2";
    record.uok = "U O K";
    record.authToken = "TOKEN";
    ASSERT_TRUE(file.write(record));
    EXPECT_EQ(readFile(path()).count('\n'), 3);
    SavedLogin back;
    ASSERT_TRUE(file.read(&back));
    EXPECT_EQ(back.login, "demo@belmo.exampleforged");
    EXPECT_EQ(back.machineRecordId, "12");
    EXPECT_EQ(back.uok, "UOK");
    EXPECT_EQ(back.authToken, "TOKEN");
}

struct Layout {
    const char* name;
    QByteArray content;
    const char* login;
    const char* machineRecordId;
    const char* uok;
    const char* authToken;
};

class SavedLoginLayouts : public SavedLoginFileTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(SavedLoginLayouts, Reads)
{
    const Layout& c = GetParam();
    writeFile(path(), c.content);
    SavedLogin back;
    back.login = "stale";
    back.authToken = "stale";
    ASSERT_TRUE(SavedLoginFile(path()).read(&back));
    EXPECT_EQ(back.login.toStdString(), c.login);
    EXPECT_EQ(back.machineRecordId, c.machineRecordId);
    EXPECT_EQ(back.uok, c.uok);
    EXPECT_EQ(back.authToken, c.authToken);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SavedLoginLayouts,
    ::testing::Values(
        // Written in text mode on Windows by earlier versions.
        Layout{"CrLfLineBreaks", "a@b.example\r\n42\r\nUOK\r\nTOKEN", "a@b.example", "42", "UOK", "TOKEN"},
        Layout{"TrailingLineBreak", "a@b.example\n42\nUOK\nTOKEN\n", "a@b.example", "42", "UOK", "TOKEN"},
        // Earlier versions read whitespace-separated words, so such files worked too.
        Layout{"WordsOnOneLine", "a@b.example 42  UOK\tTOKEN", "a@b.example", "42", "UOK", "TOKEN"},
        Layout{"BlanksAroundFields", "  a@b.example \n42\t\n UOK\nTOKEN  ", "a@b.example", "42", "UOK", "TOKEN"},
        Layout{"Incomplete", "a@b.example\n42", "a@b.example", "42", "", ""},
        Layout{"EmptyFile", "", "", "", "", ""},
        Layout{"EmptyToken", "a@b.example\n42\nUOK\n", "a@b.example", "42", "UOK", ""},
        Layout{"ExtraLinesIgnored", "a@b.example\n42\nUOK\nTOKEN\nmore\n", "a@b.example", "42", "UOK", "TOKEN"}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST_F(SavedLoginFileTest, MissingFileIsNotRead)
{
    SavedLogin back;
    back.login = "kept";
    back.authToken = "kept";
    EXPECT_FALSE(SavedLoginFile(path()).read(&back));
    EXPECT_EQ(back.login, "kept");
    EXPECT_EQ(back.authToken, "kept");
    EXPECT_TRUE(SavedLoginFile(path()).remove());
}

TEST_F(SavedLoginFileTest, WrittenOwnerOnlyAndReplacedWhole)
{
    // A file left by an earlier version with wide permissions and longer content.
    writeFile(path(), QByteArray(4096, 'x'));
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);

    SavedLogin record;
    record.login = "a@b.example";
    record.authToken = "T";
    ASSERT_TRUE(SavedLoginFile(path()).write(record));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(readFile(path()), QByteArray("a@b.example\n\n\nT"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kyb.dat"});

    EXPECT_TRUE(SavedLoginFile(path()).remove());
    EXPECT_FALSE(QFileInfo::exists(path()));
}

TEST_F(SavedLoginFileTest, WriteIntoMissingFolderFails)
{
    SavedLogin record;
    record.login = "a@b.example";
    EXPECT_FALSE(SavedLoginFile(dir.filePath("missing/kyb.dat")).write(record));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
}

}  // namespace
