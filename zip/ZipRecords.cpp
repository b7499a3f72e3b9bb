#include "zip/ZipRecords.h"

namespace zipformat {

void LocalHeader::write(uchar* out) const
{
    putUInt32(out, LocalHeaderSignature);
    putUInt16(out + 4, versionNeeded);
    putUInt16(out + 6, flags);
    putUInt16(out + 8, method);
    putUInt16(out + 10, modTime);
    putUInt16(out + 12, modDate);
    putUInt32(out + 14, crc);
    putUInt32(out + 18, compressedSize);
    putUInt32(out + 22, uncompressedSize);
    putUInt16(out + 26, nameLength);
    putUInt16(out + 28, extraLength);
}

LocalHeader LocalHeader::read(const uchar* in)
{
    LocalHeader h;
    h.versionNeeded = getUInt16(in);
    h.flags = getUInt16(in + 2);
    h.method = getUInt16(in + 4);
    h.modTime = getUInt16(in + 6);
    h.modDate = getUInt16(in + 8);
    h.crc = getUInt32(in + 10);
    h.compressedSize = getUInt32(in + 14);
    h.uncompressedSize = getUInt32(in + 18);
    h.nameLength = getUInt16(in + 22);
    h.extraLength = getUInt16(in + 24);
    return h;
}

void CentralRecord::write(uchar* out) const
{
    putUInt32(out, CentralRecordSignature);
    putUInt16(out + 4, versionMadeBy);
    putUInt16(out + 6, versionNeeded);
    putUInt16(out + 8, flags);
    putUInt16(out + 10, method);
    putUInt16(out + 12, modTime);
    putUInt16(out + 14, modDate);
    putUInt32(out + 16, crc);
    putUInt32(out + 20, compressedSize);
    putUInt32(out + 24, uncompressedSize);
    putUInt16(out + 28, nameLength);
    putUInt16(out + 30, extraLength);
    putUInt16(out + 32, commentLength);
    putUInt16(out + 34, 0);  // disk number start
    putUInt16(out + 36, 0);  // internal attributes
    putUInt32(out + 38, 0);  // external attributes
    putUInt32(out + 42, localHeaderOffset);
}

CentralRecord CentralRecord::read(const uchar* in)
{
    CentralRecord r;
    r.versionMadeBy = getUInt16(in);
    r.versionNeeded = getUInt16(in + 2);
    r.flags = getUInt16(in + 4);
    r.method = getUInt16(in + 6);
    r.modTime = getUInt16(in + 8);
    r.modDate = getUInt16(in + 10);
    r.crc = getUInt32(in + 12);
    r.compressedSize = getUInt32(in + 16);
    r.uncompressedSize = getUInt32(in + 20);
    r.nameLength = getUInt16(in + 24);
    r.extraLength = getUInt16(in + 26);
    r.commentLength = getUInt16(in + 28);
    r.localHeaderOffset = getUInt32(in + 38);
    return r;
}

void EndRecord::write(uchar* out) const
{
    putUInt32(out, EndRecordSignature);
    putUInt16(out + 4, 0);  // this disk
    putUInt16(out + 6, 0);  // disk of the central directory
    putUInt16(out + 8, entryCount);
    putUInt16(out + 10, entryCount);
    putUInt32(out + 12, directorySize);
    putUInt32(out + 16, directoryOffset);
    putUInt16(out + 20, commentLength);
}

EndRecord EndRecord::read(const uchar* in)
{
    EndRecord r;
    r.entryCount = getUInt16(in + 10);
    r.directorySize = getUInt32(in + 12);
    r.directoryOffset = getUInt32(in + 16);
    r.commentLength = getUInt16(in + 20);
    return r;
}

}  // namespace zipformat
