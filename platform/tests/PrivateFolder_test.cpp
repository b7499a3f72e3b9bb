#include "platform/PrivateFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 0777;
}

TEST(PrivateFolder, IsCreatedOwnerOnlyAndAnOpenOwnFolderIsTightened)
{
    QTemporaryDir base;
    const QString path = base.filePath("cache");
    QString error;
    ASSERT_TRUE(platform::ensurePrivateFolder(path, &error)) << error.toStdString();
    EXPECT_EQ(modeOf(path), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0777), 0);
    ASSERT_TRUE(platform::ensurePrivateFolder(path, &error)) << error.toStdString();
    EXPECT_EQ(modeOf(path), 0700u);
}

TEST(PrivateFolder, RefusesASymlinkAFileAndAForeignOwner)
{
    QTemporaryDir base;
    const QString target = base.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkdir(target));
    const QString link = base.filePath("link");
    ASSERT_TRUE(QFile::link(target, link));
    QString error;
    EXPECT_FALSE(platform::ensurePrivateFolder(link, &error));
    EXPECT_TRUE(error.contains("symbolic link")) << error.toStdString();

    const QString file = base.filePath("file");
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_FALSE(platform::ensurePrivateFolder(file, &error));

    // Owned by someone else: really so when the tests run as root, else by naming another owner.
    const QString foreign = base.filePath("foreign");
    ASSERT_TRUE(QDir().mkdir(foreign));
    uid_t expected = geteuid();
    if (geteuid() == 0)
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    else
        expected = geteuid() + 1;
    EXPECT_FALSE(platform::ensurePrivateFolder(foreign, &error, expected));
    EXPECT_TRUE(error.contains("another user")) << error.toStdString();
}

}  // namespace
