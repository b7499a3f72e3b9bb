#include "kyb/signin/SaltedBase64.h"

#include <QByteArray>
#include <cstring>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace {
constexpr int headerSize = 8;  // "Salted__", not checked
constexpr int saltSize = 8;

// Wipes the derived key and IV when the decryption ends, however it ends.
struct KeyMaterial {
    unsigned char key[EVP_MAX_KEY_LENGTH];
    unsigned char iv[EVP_MAX_IV_LENGTH];
    ~KeyMaterial() { OPENSSL_cleanse(this, sizeof(*this)); }
};

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
}  // namespace

bool decryptSaltedBase64(const char* cipherText, const char* passphrase, std::string* out)
{
    if (!cipherText || !*cipherText || !out)
        return false;
    if (!passphrase)
        passphrase = "";
    // Characters outside the base64 alphabet (the encoder's line feeds among them) are skipped.
    const QByteArray data = QByteArray::fromBase64(QByteArray(cipherText));
    if (data.size() < headerSize + saltSize)
        return false;

    const EVP_CIPHER* cipher = EVP_aes_256_cbc();
    KeyMaterial keys;
    const auto* salt = reinterpret_cast<const unsigned char*>(data.constData() + headerSize);
    if (EVP_BytesToKey(cipher, EVP_md5(), salt, reinterpret_cast<const unsigned char*>(passphrase),
                       static_cast<int>(std::strlen(passphrase)), 1, keys.key, keys.iv) <= 0)
        return false;

    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    if (!context || EVP_DecryptInit_ex(context.get(), cipher, nullptr, keys.key, keys.iv) != 1)
        return false;

    const auto* body = reinterpret_cast<const unsigned char*>(data.constData() + headerSize + saltSize);
    const int bodySize = data.size() - headerSize - saltSize;
    std::string plain(static_cast<size_t>(bodySize) + EVP_CIPHER_block_size(cipher), '\0');
    auto* plainBytes = reinterpret_cast<unsigned char*>(&plain[0]);
    int written = 0;
    if (EVP_DecryptUpdate(context.get(), plainBytes, &written, body, bodySize) != 1)
        return false;
    int finalWritten = 0;
    if (EVP_DecryptFinal_ex(context.get(), plainBytes + written, &finalWritten) != 1)
        return false;
    plain.resize(static_cast<size_t>(written + finalWritten));
    *out = std::move(plain);
    return true;
}
