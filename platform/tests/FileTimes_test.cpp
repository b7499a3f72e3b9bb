// Modification times set through the operating-system layer.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/FileTimes.h"

TEST(FileTimes, SetsTheModificationTimeOnlyAndFailsOnMissingFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.flush();
    const QDateTime accessed(QDate(2020, 2, 2), QTime(2, 2, 2), Qt::UTC);
    ASSERT_TRUE(f.setFileTime(accessed, QFileDevice::FileAccessTime));
    f.close();

    const QDateTime modified(QDate(2021, 7, 15), QTime(10, 20, 30, 250), Qt::UTC);
    ASSERT_TRUE(platform::setFileModificationTime(path, modified));
    const QFileInfo info(path);
    EXPECT_EQ(info.lastModified().toUTC(), modified);
    EXPECT_EQ(info.lastRead().toUTC(), accessed);

    EXPECT_TRUE(platform::setFileModificationTime(QString(), modified));
    EXPECT_FALSE(platform::setFileModificationTime(dir.filePath(QStringLiteral("missing")), modified));
    EXPECT_FALSE(platform::setFileModificationTime(path, QDateTime()));
}
