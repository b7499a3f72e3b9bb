#pragma once
// SHA-1 over data that arrives piece by piece (a download, a file read in blocks), through OpenSSL's digest,
// which is several times faster than QCryptographicHash on large installers.

#include <QString>

#include <memory>

class QIODevice;

class Sha1Stream {
public:
    Sha1Stream();
    ~Sha1Stream();
    Sha1Stream(const Sha1Stream&) = delete;
    Sha1Stream& operator=(const Sha1Stream&) = delete;

    void addData(const char* data, qint64 size);
    // Reads the device to its end in blocks; false on a read error.
    bool addData(QIODevice* device);
    // The digest as 40 lower-case hexadecimal digits; the stream starts afresh afterwards.
    QString hexResult();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};
