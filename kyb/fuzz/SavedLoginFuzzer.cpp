// The saved sign-in file and the deciphering of its values. Even first byte: the rest is kyb.dat as found on disk;
// it is loaded the way start-up loads it, and what is read must come back the same after it is saved again. Odd
// first byte: the rest is a salt (8 bytes) and a plain text, enciphered here the way the service does it; the
// value must decipher to that text, wrapped in lines or not and through the saved file, and must not decipher
// with another passphrase to it.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kyb/account/AccountState.h"
#include "kyb/account/ServerAPI.h"
#include "kyb/fuzz/ThrowAwayHome.h"
#include "kyb/signin/SavedLoginFile.h"
#include "kyb/signin/SignIn.h"
#include "platform/MachineIdentifier.h"

namespace {

const char* const passphrase = "fuzz-machine-3f9a";

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "saved sign-in fuzzer: %s\n", what);
    std::abort();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        fail("cannot write kyb.dat");
}

// What a field becomes once saved: no line breaks, and no surrounding blanks for the two lines read trimmed.
QByteArray savedLine(QByteArray value)
{
    value.replace('\r', QByteArray());
    value.replace('\n', QByteArray());
    return value.trimmed();
}

QByteArray savedBase64(const std::string& value)
{
    QByteArray out;
    for (char c : value)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f')
            out.append(c);
    return out;
}

void fileAsFound(const QByteArray& content)
{
    const QString path = savedLoginPath();
    writeFile(path, content);
    const bool tokenRead = loadSavedLogin();
    if (tokenRead == accountState.authToken.empty())
        fail("loadSavedLogin disagrees with the token it read");

    const SavedLoginFile file(path);
    SavedLogin first;
    if (!file.read(&first))
        fail("cannot read kyb.dat back");
    if (!file.write(first))
        fail("cannot save kyb.dat");
    SavedLogin second;
    if (!file.read(&second))
        fail("cannot read the saved kyb.dat");
    if (second.login.toUtf8() != savedLine(first.login.toUtf8()) ||
        QByteArray::fromStdString(second.machineRecordId) != savedLine(QByteArray::fromStdString(first.machineRecordId)) ||
        QByteArray::fromStdString(second.uok) != savedBase64(first.uok) ||
        QByteArray::fromStdString(second.authToken) != savedBase64(first.authToken))
        fail("a saved record reads back different");
}

// OpenSSL's salted format as the enc command writes it: "Salted__", the salt, AES-256-CBC with key and IV by MD5.
QByteArray encipher(const QByteArray& salt, const QByteArray& plain, const char* secret)
{
    unsigned char key[EVP_MAX_KEY_LENGTH];
    unsigned char iv[EVP_MAX_IV_LENGTH];
    const EVP_CIPHER* cipher = EVP_aes_256_cbc();
    EVP_BytesToKey(cipher, EVP_md5(), reinterpret_cast<const unsigned char*>(salt.constData()),
                   reinterpret_cast<const unsigned char*>(secret), static_cast<int>(std::strlen(secret)), 1, key, iv);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    QByteArray body(plain.size() + EVP_CIPHER_block_size(cipher), '\0');
    auto* out = reinterpret_cast<unsigned char*>(body.data());
    int written = 0, finalWritten = 0;
    const bool ok = context && EVP_EncryptInit_ex(context, cipher, nullptr, key, iv) == 1 &&
                    EVP_EncryptUpdate(context, out, &written, reinterpret_cast<const unsigned char*>(plain.constData()),
                                      plain.size()) == 1 &&
                    EVP_EncryptFinal_ex(context, out + written, &finalWritten) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok)
        fail("cannot encipher");
    body.resize(written + finalWritten);
    return QByteArrayLiteral("Salted__") + salt + body;
}

QByteArray inLines(const QByteArray& text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); i += 64)
        out += text.mid(i, 64) + '\n';
    return out;
}

void enciphered(const QByteArray& input)
{
    if (input.size() < 8)
        return;
    const QByteArray salt = input.left(8);
    const QByteArray plain = input.mid(8);
    const QByteArray value = encipher(salt, plain, passphrase).toBase64();
    const std::string expected = plain.toStdString();

    if (ServerAPI::decryptString(value.toStdString(), passphrase) != expected ||
        ServerAPI::decryptString(inLines(value).toStdString(), passphrase) != expected)
        fail("an enciphered value does not decipher to its plain text");
    if (!expected.empty() && ServerAPI::decryptString(value.toStdString(), "another machine") == expected)
        fail("a value deciphers with another passphrase");

    writeFile(savedLoginPath(), "someone@example.com\n4711\n" + value + '\n' + value);
    if (loadSavedLogin() != !expected.empty() || accountState.authToken != expected || accountState.uok != expected)
        fail("the saved sign-in does not decipher to its plain text");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ThrowAwayHome::path("signin-fuzz");
    setenv("KESTRUNE_MACHINE_ID", passphrase, 1);
    if (platform::machineIdentifier() != passphrase)
        fail("the machine identifier is not the fuzzer's");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    accountState = AccountState();
    if (data[0] % 2 == 0)
        fileAsFound(rest);
    else
        enciphered(rest);
    return 0;
}
