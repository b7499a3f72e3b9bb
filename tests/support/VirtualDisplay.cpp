#include "tests/support/VirtualDisplay.h"

#include <QByteArray>
#include <QStringList>

namespace ktest {

VirtualDisplay::VirtualDisplay(int dpi, const QString& screen)
{
    QStringList args{"-displayfd", "1", "-screen", "0", dpi ? screen + "x24" : "1024x768x24", "-nolisten", "tcp"};
    if (dpi)
        args << "-dpi" << QString::number(dpi);
    server_.start(QStringLiteral("Xvfb"), args);
    if (!server_.waitForStarted(30000))
        return;
    QByteArray number;
    while (!number.contains('\n') && server_.state() == QProcess::Running && server_.waitForReadyRead(30000))
        number += server_.readAllStandardOutput();
    if (number.trimmed().isEmpty())
        return;
    name_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
}

VirtualDisplay::~VirtualDisplay()
{
    server_.terminate();
    if (!server_.waitForFinished(10000)) {
        server_.kill();
        server_.waitForFinished();
    }
}

}  // namespace ktest
