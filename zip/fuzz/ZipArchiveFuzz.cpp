// Opens any bytes as an archive and verifies every entry without writing anything.
#include <QBuffer>
#include <QDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

#include "zip/UnZip.h"

namespace {
void discardMessages(QtMsgType, const QMessageLogContext&, const QString&) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(discardMessages), true);
    Q_UNUSED(quiet);
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    UnZip unzip;
    const UnZip::ErrorCode ec = unzip.openArchive(&buffer);
    if (ec == UnZip::Ok || ec == UnZip::PartlyCorrupted)
        unzip.extractAll(QDir(QStringLiteral("/nonexistent-fuzz-target")), UnZip::CheckOnly);
    return 0;
}
