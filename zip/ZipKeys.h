#pragma once
// The three keys of the format's traditional encryption, updated with zlib's CRC-32 table.

#include <QByteArray>
#include <QtGlobal>

class ZipKeys {
public:
    // Keys initialised from the password (its local 8-bit encoding).
    explicit ZipKeys(const QByteArray& password);

    void reset(const QByteArray& password);
    void encrypt(uchar* data, qint64 size);
    void decrypt(uchar* data, qint64 size);

private:
    uchar streamByte() const
    {
        const quint32 t = (key_[2] & 0xffff) | 2;
        return uchar((t * (t ^ 1)) >> 8);
    }
    void update(uchar plain)
    {
        key_[0] = crc32Byte(key_[0], plain);
        key_[1] = (key_[1] + (key_[0] & 0xff)) * 134775813u + 1;
        key_[2] = crc32Byte(key_[2], uchar(key_[1] >> 24));
    }
    quint32 crc32Byte(quint32 crc, uchar c) const { return quint32(table_[(crc ^ c) & 0xff]) ^ (crc >> 8); }

    const quint32* table_;
    quint32 key_[3];
};
