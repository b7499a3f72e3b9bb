#pragma once
// Little-endian layouts of the fixed parts of the archive records.

#include <QtGlobal>

namespace zipformat {

constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr quint32 CentralRecordSignature = 0x02014b50;
constexpr quint32 EndRecordSignature = 0x06054b50;
constexpr quint32 DataDescriptorSignature = 0x08074b50;

constexpr int LocalHeaderSize = 30;      // with the signature
constexpr int CentralRecordSize = 46;    // with the signature
constexpr int EndRecordSize = 22;        // with the signature
constexpr int DataDescriptorSize = 16;   // with the signature
constexpr int EncryptionHeaderSize = 12;
constexpr int MaxCommentLength = 0xffff;
constexpr qint64 MaxEndRecordSearch = EndRecordSize + MaxCommentLength;  // tail that can hold the end record

constexpr quint16 VersionNeeded = 20;
constexpr quint16 FlagEncrypted = 1;
constexpr quint16 FlagDataDescriptor = 8;
constexpr quint16 MethodStored = 0;
constexpr quint16 MethodDeflated = 8;

// Largest size or offset the 32-bit fields hold (0xffffffff itself marks 64-bit records to other readers).
constexpr qint64 MaxSize32 = 0xfffffffeLL;

inline quint16 getUInt16(const uchar* p) { return quint16(p[0] | (p[1] << 8)); }
inline quint32 getUInt32(const uchar* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
inline void putUInt16(uchar* p, quint16 v)
{
    p[0] = uchar(v);
    p[1] = uchar(v >> 8);
}
inline void putUInt32(uchar* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uchar(v >> (8 * i));
}

// Local header after its signature (26 bytes).
struct LocalHeader {
    quint16 versionNeeded = VersionNeeded;
    quint16 flags = 0;
    quint16 method = 0;
    quint16 modTime = 0;
    quint16 modDate = 0;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint16 nameLength = 0;
    quint16 extraLength = 0;

    static constexpr int CrcOffset = 14;  // from the start of the header, signature included
    void write(uchar* out) const;         // 30 bytes, signature included
    static LocalHeader read(const uchar* in);  // 26 bytes after the signature
};

// Central directory record after its signature (42 bytes).
struct CentralRecord {
    quint16 versionMadeBy = 0;
    quint16 versionNeeded = VersionNeeded;
    quint16 flags = 0;
    quint16 method = 0;
    quint16 modTime = 0;
    quint16 modDate = 0;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint16 nameLength = 0;
    quint16 extraLength = 0;
    quint16 commentLength = 0;
    quint32 localHeaderOffset = 0;

    void write(uchar* out) const;  // 46 bytes, signature included
    static CentralRecord read(const uchar* in);
};

// End-of-central-directory record (22 bytes, signature included).
struct EndRecord {
    quint16 entryCount = 0;
    quint32 directorySize = 0;
    quint32 directoryOffset = 0;
    quint16 commentLength = 0;

    void write(uchar* out) const;
    static EndRecord read(const uchar* in);  // in points at the signature
};

}  // namespace zipformat
