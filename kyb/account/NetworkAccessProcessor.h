#pragma once
#include <QNetworkAccessManager>
#include <QObject>

// The network manager of one account-service request. Certificates are verified with Qt's defaults (plus the extra
// CA installed at start-up); a certificate error fails the request.
class NetworkAccessProcessor : public QObject {
    Q_OBJECT
public:
    explicit NetworkAccessProcessor(QObject* parent = nullptr);
    QNetworkAccessManager* manager() { return &manager_; }

private:
    QNetworkAccessManager manager_;
};
