#include "scanners/ScannerSerial.h"

#include <QRegularExpression>

bool isSafeSerial(const QString& serial)
{
    static const QRegularExpression allowed(QStringLiteral("\\A[A-Za-z0-9._-]+\\z"));
    return serial != QLatin1String(".") && serial != QLatin1String("..") && allowed.match(serial).hasMatch();
}
