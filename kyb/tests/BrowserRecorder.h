#pragma once
// Stands in for the system's browser: QDesktopServices::setUrlHandler(scheme, &recorder, "open") keeps the links.
// A test that uses it includes "moc_BrowserRecorder.cpp" once.

#include <QList>
#include <QObject>
#include <QUrl>

class BrowserRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};
