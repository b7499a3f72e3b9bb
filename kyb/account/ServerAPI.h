#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "account/AccountState.h"
#include "catalogue/ApplicationInfo.h"
#include "scanners/AccountScanner.h"
#include "scanners/HardwareItem.h"

class QEventLoop;
class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

// The account service client. Every synchronous request blocks its caller in a local event loop guarded by its own
// time-out. Failures leave as RequestFailure (a std::ios_base::failure carrying exactly the text) or, for reply
// format errors of login and info and for a list reply that is not an array, as std::runtime_error.
class ServerAPI : public QObject {
    Q_OBJECT
public:
    static ServerAPI* instance();

    bool login(QString login, QString password, std::string machineIdentifier, AccountState* out);
    bool info(QString token, std::string machineIdentifier, QString* email, AccountState* out);
    bool scanners(QString token, std::vector<AccountScanner>* list);
    bool updateRequired(QString token, ApplicationInfo* out, QString version);
    bool applications(QString token, std::vector<ApplicationInfo>* list);
    bool serialNumber(QString token, std::string cameraId, HardwareItem* out);
    int calibrationRevision(QString token, QString serial);
    // Started on the caller's manager and returned at once; the caller owns the wait.
    QNetworkReply* calibrationReply(QNetworkAccessManager* manager, QString token, QString scannerId);
    QNetworkReply* rentCalibrationReply(QNetworkAccessManager* manager, QString token, QString serial);
    bool uploadLog(QString machineIdentifier, QString zipPath);

    // Runs loop under a time-out of its own; throws RequestFailure "Timeout. Can't connect to the server" when the
    // loop ends with 1 (its time-out, which also sets the offline mark, or an application-wide exit(1)). The
    // time-out no longer applies once reply (when given) has finished, even if the loop cannot return yet because a
    // request started meanwhile still waits.
    // An abandoned wait (see abandonWaitsFrom) throws RequestAbandoned instead, whatever ended its loop.
    void waitForReply(QEventLoop* loop, QNetworkReply* reply = nullptr);
    bool isWaiting() const { return !waits_.empty(); }

    // The request waits running now, outermost first. A caller that notes waitCount() before its request can end
    // that request's wait, and every wait started inside it, with abandonWaitsFrom(count): each such request
    // throws RequestAbandoned as soon as its loop returns, so a late answer is never read.
    int waitCount() const { return static_cast<int>(waits_.size()); }
    void abandonWaitsFrom(int index);

    static QString networkErrorText(int code);

    // The plain text of a value enciphered by the service, or the empty text on any failure (kyb/signin/).
    static std::string decryptString(std::string cipherText, std::string passphrase);

    bool isWow64() const { return isWow64_; }

private:
    ServerAPI();

    // The URL of a request: https, the service authority, the path prefix, path (percent-encoded where needed)
    // and the query, whose names and values are percent-encoded here.
    static QUrl requestUrl(const QString& path, const std::vector<std::pair<QString, QString>>& query = {});

    struct Reply {
        QByteArray body;
        int error = 0;            // QNetworkReply::NetworkError
        int status = 0;           // HTTP status, 0 when the reply carries none
        bool networkError = false;  // no answer: a transport failure, or no status at all
        bool finished = false;
    };
    enum class Method { Get, Post };
    Reply send(Method method, const QNetworkRequest& request, const QByteArray& body, QHttpMultiPart* multipart,
               bool listRequest);

    struct Wait {
        QEventLoop* loop;
        bool abandoned;
    };

    bool isWow64_;
    std::vector<Wait*> waits_;
};
