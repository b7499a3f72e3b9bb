#include "downloads/Sha1Stream.h"

#include <QIODevice>

#include <openssl/evp.h>

#include <stdexcept>

struct Sha1Stream::Context {
    EVP_MD_CTX* digest = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(digest); }
};

Sha1Stream::Sha1Stream() : context_(std::make_unique<Context>())
{
    if (!context_->digest || EVP_DigestInit_ex(context_->digest, EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("SHA-1 is not available");
}

Sha1Stream::~Sha1Stream() = default;

void Sha1Stream::addData(const char* data, qint64 size)
{
    if (size > 0)
        EVP_DigestUpdate(context_->digest, data, static_cast<size_t>(size));
}

bool Sha1Stream::addData(QIODevice* device)
{
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device->read(block.data(), block.size());
        if (got < 0)
            return false;
        if (got == 0)
            return device->atEnd();
        addData(block.constData(), got);
    }
}

QString Sha1Stream::hexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_->digest, digest, &length);
    EVP_DigestInit_ex(context_->digest, EVP_sha1(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(length)).toHex());
}
