// DOS time fields and the entry-name guard of the extractor.
#include <gtest/gtest.h>

#include <QDateTime>

#include "zip/DosDateTime.h"
#include "zip/EntryPath.h"

namespace {

struct DosCase {
    QDateTime local;
    quint16 time;
    quint16 date;
    QDateTime readBack;
};

class DosDateTimeTest : public ::testing::TestWithParam<DosCase> {};

TEST_P(DosDateTimeTest, EncodesLocalFieldsAndReadsThemBack)
{
    const DosCase& c = GetParam();
    const DosDateTime dos = DosDateTime::fromLocal(c.local);
    EXPECT_EQ(dos.time, c.time);
    EXPECT_EQ(dos.date, c.date);
    EXPECT_EQ(dos.toLocal(), c.readBack);
}

QDateTime local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DosDateTimeTest,
    ::testing::Values(
        // bytes E8 73 and 63 52; the odd second rounds down
        DosCase{local(2021, 3, 3, 14, 31, 17), 0x73e8, 0x5263, local(2021, 3, 3, 14, 31, 16)},
        DosCase{local(1980, 1, 1, 0, 0, 0), 0x0000, 0x0021, local(1980, 1, 1, 0, 0, 0)},
        DosCase{local(2107, 12, 31, 23, 59, 59), 0xbf7d, 0xff9f, local(2107, 12, 31, 23, 59, 58)},
        // years outside the field's range are clamped to its first and last moment
        DosCase{local(1970, 6, 1, 12, 0, 0), 0x0000, 0x0021, local(1980, 1, 1, 0, 0, 0)},
        DosCase{local(2200, 6, 1, 12, 0, 0), 0xbf7d, 0xff9f, local(2107, 12, 31, 23, 59, 58)}));

TEST(DosDateTime, FieldsWithoutARealDateReadAsInvalid)
{
    EXPECT_FALSE((DosDateTime{0, 0}.toLocal().isValid()));           // month 0, day 0
    EXPECT_FALSE((DosDateTime{0xffff, 0x5263}.toLocal().isValid()));  // hour 31
}

struct NameCase {
    const char* name;
    bool safe;
};

class EntryPathTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryPathTest, RefusesNamesThatLeaveTheTarget)
{
    EXPECT_EQ(EntryPath::isSafe(QString::fromUtf8(GetParam().name), QStringLiteral("/tmp/target")), GetParam().safe)
        << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryPathTest,
    ::testing::Values(NameCase{"a.txt", true}, NameCase{"dir/b.txt", true}, NameCase{"dir\\b.txt", true},
                      NameCase{"dir/", true}, NameCase{"./a.txt", true}, NameCase{"a..b/..c", true},
                      NameCase{"", false}, NameCase{"..", false}, NameCase{"../evil.txt", false},
                      NameCase{"a/../../evil.txt", false}, NameCase{"a/..", false},
                      NameCase{"a\\..\\..\\evil.txt", false}, NameCase{"/etc/passwd", false},
                      NameCase{"\\abs.txt", false}, NameCase{"C:evil.txt", false}, NameCase{"c:/evil.txt", false},
                      NameCase{"z:\\evil.txt", false}));

TEST(EntryPath, RefusesNul)
{
    EXPECT_FALSE(EntryPath::isSafe(QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QStringLiteral("/tmp/t")));
}

}  // namespace
