#pragma once
// An X server of its own for one run: Xvfb picks a free display itself and reports it (-displayfd), so parallel
// test runs never race for a display number or a lock file.

#include <QProcess>
#include <QString>

namespace ktest {

class VirtualDisplay {
public:
    // dpi 0: the server's default density and a 1024 x 768 screen; otherwise a screen of that many pixels
    // ("1280x800").
    explicit VirtualDisplay(int dpi = 0, const QString& screen = QStringLiteral("1280x800"));
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    QString name() const { return name_; }  // ":N"; empty when the server did not start

private:
    QProcess server_;
    QString name_;
};

}  // namespace ktest
