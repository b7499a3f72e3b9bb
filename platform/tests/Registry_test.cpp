#include "platform/Registry.h"
#include "tests/support/TemporaryRegistry.h"

#include <gtest/gtest.h>

#include <QDir>

using platform::Registry;

namespace {

// Every test gets its own empty registry folder.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
    }

    ktest::TemporaryRegistry dir_;
};

TEST_F(RegistryTest, ViewsKeepTheirOwnKeysAndAMissing64BitFileReadsTheDefaultView)
{
    Registry machine(Registry::Hive::LocalMachine);
    Registry machine64(Registry::Hive::LocalMachine, Registry::View::Wide64);
    Registry user(Registry::Hive::CurrentUser);

    ASSERT_TRUE(machine.setValue("SOFTWARE\\Belmo Group\\Studio\\1.0", "Version", "1.0"));
    // No HKLM64.ini yet: the 64-bit view is the default view.
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("HKLM64.ini")));
    EXPECT_EQ(machine64.value("SOFTWARE\\Belmo Group\\Studio\\1.0", "Version"), QString("1.0"));
    EXPECT_EQ(machine64.subKeys("SOFTWARE\\Belmo Group"), QStringList{"Studio"});
    EXPECT_FALSE(user.keyExists("SOFTWARE\\Belmo Group"));

    ASSERT_TRUE(machine64.setValue("SOFTWARE\\Belmo Group\\Studio64\\2.0", "Version", "2.0"));
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath("HKLM64.ini")));
    EXPECT_EQ(machine64.subKeys("SOFTWARE\\Belmo Group"), QStringList{"Studio64"});
    EXPECT_EQ(machine.subKeys("SOFTWARE\\Belmo Group"), QStringList{"Studio"});
    EXPECT_FALSE(machine.value("SOFTWARE\\Belmo Group\\Studio64\\2.0", "Version").has_value());

    ASSERT_TRUE(user.setValue("SOFTWARE\\Belmo Group\\Studio\\1.0", "updaterLastVersion", "1.1"));
    EXPECT_EQ(user.value("SOFTWARE\\Belmo Group\\Studio\\1.0", "updaterLastVersion"), QString("1.1"));
    EXPECT_FALSE(machine.value("SOFTWARE\\Belmo Group\\Studio\\1.0", "updaterLastVersion").has_value());
}

TEST_F(RegistryTest, OddNamesAndValuesReadBackAsWrittenAndNeverBecomePaths)
{
    Registry machine(Registry::Hive::LocalMachine);
    const QStringList keyNames = {"Belmo Group", "a/b", "..", ".", "..%2F..%2Fetc", "G\u00fcnter 3D", "General",
                                  "_KEY", "_", "_4B", "x=y;z,[w]", "@Variant(x)"};
    const QString root = "SOFTWARE\\Odd";
    for (const QString& name : keyNames) {
        SCOPED_TRACE(name.toStdString());
        const QString key = root + "\\" + name;
        ASSERT_TRUE(machine.setValue(key, name, "value of " + name));
        ASSERT_TRUE(machine.setValue(key, "back\\slash/and.dot", name));
        EXPECT_EQ(machine.value(key, name), "value of " + name);
        EXPECT_EQ(machine.value(key, "back\\slash/and.dot"), name);
    }
    QStringList sorted = keyNames;
    sorted.sort();
    EXPECT_EQ(machine.subKeys(root), sorted);
    EXPECT_EQ(machine.valueNames(root + "\\a/b"), (QStringList{"a/b", "back\\slash/and.dot"}));

    // Texts that INI files treat specially survive, and so does the empty (default) value name.
    const QStringList texts = {"1, 2", "@String(x)", "  padded  ", "line\nbreak", "\"quoted\"", "C:\\Program Files\\x",
                               QString()};
    for (int i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(machine.setValue("SOFTWARE\\Texts", QString::number(i), texts[i]));
        EXPECT_EQ(machine.value("SOFTWARE\\Texts", QString::number(i)), texts[i]) << i;
    }
    ASSERT_TRUE(machine.setValue("SOFTWARE\\Texts", QString(), "default"));
    EXPECT_EQ(machine.value("SOFTWARE\\Texts", QString()), QString("default"));

    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"HKLM.ini"});
}

TEST_F(RegistryTest, KeysWithoutValuesExistAndMalformedPathsAreRefused)
{
    Registry user(Registry::Hive::CurrentUser);
    ASSERT_TRUE(user.createKey("SOFTWARE\\Empty"));
    EXPECT_TRUE(user.keyExists("SOFTWARE\\Empty"));
    EXPECT_TRUE(user.keyExists("SOFTWARE"));
    EXPECT_TRUE(user.valueNames("SOFTWARE\\Empty").isEmpty());
    EXPECT_FALSE(user.keyExists("SOFTWARE\\Missing"));
    EXPECT_FALSE(user.value("SOFTWARE\\Missing", "Version").has_value());

    ASSERT_TRUE(user.setValue("SOFTWARE\\Empty\\Sub", "v", "1"));
    ASSERT_TRUE(user.removeValue("SOFTWARE\\Empty\\Sub", "v"));
    EXPECT_TRUE(user.keyExists("SOFTWARE\\Empty\\Sub"));
    EXPECT_FALSE(user.removeValue("SOFTWARE\\Empty\\Sub", "v"));
    ASSERT_TRUE(user.removeKey("SOFTWARE\\Empty"));
    EXPECT_FALSE(user.keyExists("SOFTWARE\\Empty\\Sub"));
    EXPECT_FALSE(user.keyExists("SOFTWARE\\Empty"));

    for (const QString& bad : {QString(), QString("a\\\\b"), QString("\\a"), QString("a\\")}) {
        EXPECT_FALSE(user.setValue(bad, "v", "1")) << bad.toStdString();
        EXPECT_FALSE(user.createKey(bad)) << bad.toStdString();
    }
}

TEST(RegistryNames, EscapingIsReversibleAndRejectsForeignForms)
{
    for (const QString& name : {QString("plain-Name09"), QString("with space"), QString("\u00e9\u4e2d"), QString("_"),
                                QString("%"), QString()}) {
        const QString escaped = Registry::escapeName(name);
        for (const QChar c : escaped)
            EXPECT_TRUE(c.isLetterOrNumber() || c == '-' || c == '_') << escaped.toStdString();
        EXPECT_EQ(Registry::unescapeName(escaped), name);
    }
    for (const QString& foreign : {QString("_KEY"), QString("a_4"), QString("a b"), QString("_4g"), QString("a.b")})
        EXPECT_FALSE(Registry::unescapeName(foreign).has_value()) << foreign.toStdString();
}

}  // namespace
