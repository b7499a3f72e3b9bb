#include "zip/ZipKeys.h"

#include <zlib.h>

static_assert(sizeof(z_crc_t) == sizeof(quint32), "zlib's CRC table holds 32-bit values");

ZipKeys::ZipKeys(const QByteArray& password)
    : table_(reinterpret_cast<const quint32*>(get_crc_table()))
{
    reset(password);
}

void ZipKeys::reset(const QByteArray& password)
{
    key_[0] = 0x12345678;
    key_[1] = 0x23456789;
    key_[2] = 0x34567890;
    for (char c : password)
        update(uchar(c));
}

void ZipKeys::encrypt(uchar* data, qint64 size)
{
    for (qint64 i = 0; i < size; ++i) {
        const uchar plain = data[i];
        data[i] = plain ^ streamByte();
        update(plain);
    }
}

void ZipKeys::decrypt(uchar* data, qint64 size)
{
    for (qint64 i = 0; i < size; ++i) {
        data[i] ^= streamByte();
        update(data[i]);
    }
}
