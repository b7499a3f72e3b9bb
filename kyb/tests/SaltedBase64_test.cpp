#include <gtest/gtest.h>

#include <QByteArray>
#include <string>

#include "kyb/signin/SaltedBase64.h"
#include "tests/support/TestProcess.h"

namespace {

// Made once with: printf 'token-0123456789abcdef' | openssl enc -aes-256-cbc -md md5 -a -pass pass:machine-42
const char* const committedCipher = "U2FsdGVkX1+uH8Z668XNvHuEfYzTmLQklPFWaNwRENnr9vUqDFC8ChbY/MQ27Dwm";

QByteArray encipher(const QByteArray& plain, const QByteArray& passphrase, bool singleLine)
{
    QStringList args{"enc", "-aes-256-cbc", "-md", "md5", "-a", "-pass", "pass:" + QString::fromUtf8(passphrase)};
    if (singleLine)
        args << "-A";
    const ktest::ProcessResult result = ktest::runProgram("openssl", args, QString(), plain);
    EXPECT_TRUE(result.ok()) << result.err.toStdString();
    return result.out;
}

struct RoundTrip {
    const char* name;
    QByteArray plain;
    QByteArray passphrase;
    bool singleLine;
};

class SaltedBase64RoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SaltedBase64RoundTrip, DeciphersWhatOpensslEnciphered)
{
    if (!ktest::haveProgram("openssl"))
        GTEST_SKIP() << "openssl command not found";
    const RoundTrip& c = GetParam();
    const QByteArray cipher = encipher(c.plain, c.passphrase, c.singleLine);
    ASSERT_TRUE(cipher.startsWith("U2FsdGVkX1")) << cipher.toStdString();  // "Salted__"
    if (!c.singleLine && c.plain.size() > 48) {
        ASSERT_GT(cipher.count('\n'), 1) << "expected wrapped base64";
    }
    std::string out = "left over";
    ASSERT_TRUE(decryptSaltedBase64(cipher.constData(), c.passphrase.constData(), &out));
    EXPECT_EQ(out, c.plain.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaltedBase64RoundTrip,
    ::testing::Values(
        RoundTrip{"ShortToken", "0f3c9a2b", "machine-42", false},
        // Over 48 bytes of output: openssl wraps the base64 text in lines of 64 characters.
        RoundTrip{"WrappedLines", QByteArray(200, 'k'), "machine-42", false},
        RoundTrip{"SingleLine", QByteArray(200, 'k'), "machine-42", true},
        RoundTrip{"WholeBlock", QByteArray(16, 'b'), "machine-42", false},
        RoundTrip{"EmptyPlainText", QByteArray(), "machine-42", false},
        RoundTrip{"Utf8Passphrase", "token", "machine-\xc3\xa9-\xe2\x82\xac", false},
        RoundTrip{"EmptyPassphrase", "token", "", false}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST(SaltedBase64, CommittedFixture)
{
    std::string out;
    ASSERT_TRUE(decryptSaltedBase64(committedCipher, "machine-42", &out));
    EXPECT_EQ(out, "token-0123456789abcdef");

    // Line feeds and other characters outside the alphabet are skipped.
    const QByteArray wrapped = QByteArray(committedCipher).insert(20, "\r\n").insert(40, " \n");
    out.clear();
    ASSERT_TRUE(decryptSaltedBase64(wrapped.constData(), "machine-42", &out));
    EXPECT_EQ(out, "token-0123456789abcdef");
}

TEST(SaltedBase64, WrongPassphraseFails)
{
    for (const char* passphrase : {"machine-43", "machine-4", "machine-42 ", "", "MACHINE-42"}) {
        std::string out = "unchanged";
        EXPECT_FALSE(decryptSaltedBase64(committedCipher, passphrase, &out)) << passphrase;
        EXPECT_EQ(out, "unchanged") << passphrase;
    }
}

TEST(SaltedBase64, ShortAndMalformedInputFails)
{
    const QByteArray full = QByteArray::fromBase64(committedCipher);
    const struct {
        const char* name;
        QByteArray cipher;
    } cases[] = {
        {"empty", ""},
        {"header only", QByteArray("Salted__").toBase64()},
        {"15 bytes", full.left(15).toBase64()},
        {"header and salt, no body", full.left(16).toBase64()},
        {"body not a whole block", full.left(16 + 15).toBase64()},
        {"last block cut off", full.left(full.size() - 16).toBase64()},
        {"not base64", "!!!! **** ????"},
        {"flipped last byte", [&] { QByteArray d = full; d[d.size() - 1] = char(d[d.size() - 1] ^ 0x5a); return d.toBase64(); }()},
    };
    for (const auto& c : cases) {
        std::string out = "unchanged";
        EXPECT_FALSE(decryptSaltedBase64(c.cipher.constData(), "machine-42", &out)) << c.name;
        EXPECT_EQ(out, "unchanged") << c.name;
    }
    std::string out;
    EXPECT_FALSE(decryptSaltedBase64(nullptr, "machine-42", &out));
}

}  // namespace
