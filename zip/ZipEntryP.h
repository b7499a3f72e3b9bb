#pragma once
// One archive entry as both the writer and the reader describe it in memory.

#include <QString>
#include <QtGlobal>

struct ZipEntryP {
    quint32 localHeaderOffset = 0;  // offset of the local header
    quint32 dataOffset = 0;         // offset of the data (before an encryption header); set by the reader
    quint16 generalFlags = 0;
    quint16 method = 0;
    quint16 modTime = 0;            // DOS time
    quint16 modDate = 0;            // DOS date
    quint32 crc = 0;
    quint32 compressedSize = 0;     // includes a 12-byte encryption header
    quint32 uncompressedSize = 0;
    QString comment;                // reader
    QString sourcePath;             // writer: absolute path of the added file, lower case
    qint64 sourceSize = 0;          // writer: size of the added file
    bool localHeaderChecked = false;  // reader: the local header was compared with the central record

    bool isEncrypted() const { return generalFlags & 1; }
    bool hasDataDescriptor() const { return generalFlags & 8; }
};
