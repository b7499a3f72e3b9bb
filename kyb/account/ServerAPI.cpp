#include "account/ServerAPI.h"

#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <boost/format.hpp>
#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <stdexcept>

#include "account/FormEncoding.h"
#include "account/NetworkAccessProcessor.h"
#include "account/ReplyReaders.h"
#include "account/RequestFailure.h"
#include "platform/RequestTimeouts.h"
#include "platform/ServiceEndpoint.h"
#include "platform/Wow64Process.h"

namespace pt = boost::property_tree;

namespace {

const char* const timeoutText = "Timeout. Can't connect to the server";

QNetworkRequest formRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    return request;
}

QNetworkRequest unauthorizedRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("None"));
    return request;
}

[[noreturn]] void throwIncorrectReply(int status)
{
    throw RequestFailure((boost::format("Incorrect server reply: %i") % status).str());
}

// Qt reports 4xx and 5xx answers as error codes too (400 and 418 as 302, 401 as 204, 404 as 203, 407 as 105, 500
// as 401): such a reply is an answer and takes the status road. Transport and protocol failures stay network errors
// even when the headers came, as the body is then incomplete.
bool isStatusCode(int code)
{
    return code == QNetworkReply::ProtocolInvalidOperationError ||
           code == QNetworkReply::ProxyAuthenticationRequiredError ||
           (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError);
}

}  // namespace

ServerAPI* ServerAPI::instance()
{
    static ServerAPI api;
    return &api;
}

ServerAPI::ServerAPI() : QObject(nullptr), isWow64_(platform::isWow64Process())
{
}

QUrl ServerAPI::requestUrl(const QString& path, const FormFields& query)
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setAuthority(platform::serviceAuthority());
    url.setPath(QStringLiteral("/api/kyb/v2/") + path, QUrl::TolerantMode);  // path segments come encoded
    if (!query.empty())
        url.setQuery(QString::fromLatin1(encodeFormFields(query)));
    return url;
}

QString ServerAPI::networkErrorText(int code)
{
    switch (code) {
    case 0:
        return QString();
    case 1:
        return QStringLiteral("The remote server refused the connection (the server is not accepting requests)");
    case 2:
        return QStringLiteral("The remote server closed the connection prematurely, before the entire reply was "
                              "received and processed");
    case 3:
        return QStringLiteral("The remote host name was not found (invalid hostname)");
    case 4:
        return QStringLiteral("The connection to the remote server timed out");
    case 5:
        return QStringLiteral("The operation was canceled via calls to abort() or close() before it was finished.");
    case 6:
        return QStringLiteral("The SSL/TLS handshake failed and the encrypted channel could not be established. The "
                              "sslErrors() signal should have been emitted.");
    case 201:
        return QStringLiteral("The access to the remote content was denied");
    case 202:
        return QStringLiteral("The operation requested on the remote content is not permitted");
    case 203:
        return QStringLiteral("The remote content was not found at the server");
    case 204:
        return QStringLiteral("Login or password is invalid. Be sure you're using the password for your Belmo "
                              "account.");
    case 299:
        return QStringLiteral("An unknown error related to the remote content was detected");
    case 301:
        return QStringLiteral("The Network Access API cannot honor the request because the protocol is not known");
    case 302:
        return QStringLiteral("The requested operation is invalid for this protocol");
    default:
        return QStringLiteral("Unknown network error");
    }
}

void ServerAPI::waitForReply(QEventLoop* loop, QNetworkReply* reply)
{
    // Each wait has its own timer, so a request started while this one waits cannot take its time-out away.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::CoarseTimer);
    bool timedOut = false;
    connect(&timer, &QTimer::timeout, loop, [loop, &timedOut] {
        timedOut = true;
        accountState.offlineMode = true;
        loop->exit(1);
    });
    if (reply)
        connect(reply, &QNetworkReply::finished, &timer, &QTimer::stop);
    timer.start(platform::requestTimeoutMs());

    Wait wait{loop, false};
    waits_.push_back(&wait);
    const int result = loop->exec();
    waits_.erase(std::find(waits_.begin(), waits_.end(), &wait));
    timer.stop();
    // A request started meanwhile may have been answered after this time-out: this request, which ends now, still
    // got no answer.
    if (timedOut)
        accountState.offlineMode = true;
    if (wait.abandoned)
        throw RequestAbandoned(networkErrorText(QNetworkReply::OperationCanceledError).toStdString());
    if (result == 1)
        throw RequestFailure(timeoutText);
}

void ServerAPI::abandonWaitsFrom(int index)
{
    for (std::size_t i = static_cast<std::size_t>(std::max(index, 0)); i < waits_.size(); ++i) {
        waits_[i]->abandoned = true;
        waits_[i]->loop->exit(2);
    }
}

ServerAPI::Reply ServerAPI::send(Method method, const QNetworkRequest& request, const QByteArray& body,
                                 QHttpMultiPart* multipart, bool listRequest)
{
    NetworkAccessProcessor processor;
    QNetworkReply* reply = nullptr;
    if (method == Method::Get) {
        reply = processor.manager()->get(request);
    } else if (multipart) {
        reply = processor.manager()->post(request, multipart);
        multipart->setParent(reply);
    } else {
        reply = processor.manager()->post(request, body);
    }
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        waitForReply(&loop, reply);

    Reply result;
    result.finished = reply->isFinished();
    if (listRequest && !result.finished) {
        accountState.offlineMode = true;
        throw RequestFailure("Empty reply");
    }
    result.body = reply->readAll();
    result.error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.status = status.isValid() ? status.toInt() : 0;
    result.networkError = result.error != QNetworkReply::NoError && !(status.isValid() && isStatusCode(result.error));
    // The mark tells how the last request ended. No answer (refused, cut or timed-out connection, failed handshake
    // or certificate check, unknown host, proxy or network failure): the service counts as unreachable, so the lists
    // that follow come from cache.ini. Any answer with a status, a refusal or a server error included, shows it
    // reachable again. A reply that did not finish (its wait ended by the application) tells nothing.
    if (result.finished)
        accountState.offlineMode = result.networkError;
    return result;  // the reply goes with the processor's manager
}

bool ServerAPI::login(QString login, QString password, std::string machineIdentifier, AccountState* out)
{
    const FormFields form = {{QStringLiteral("user[email]"), login},
                             {QStringLiteral("user[password]"), password},
                             {QStringLiteral("user[hwfp]"), QString::fromStdString(machineIdentifier)}};
    const Reply reply =
        send(Method::Post, formRequest(requestUrl(QStringLiteral("login.json"))), encodeFormFields(form), nullptr, false);
    if (reply.networkError)
        throw RequestFailure(networkErrorText(reply.error).toStdString());
    out->login.clear();
    out->authToken.clear();
    out->machineRecordId.clear();
    out->uok.clear();
    if (reply.status == 401)
        return false;
    if (reply.status != 200)
        throwIncorrectReply(reply.status);
    readSignInReply(reply.body, out, nullptr);
    return true;
}

bool ServerAPI::info(QString token, std::string machineIdentifier, QString* email, AccountState* out)
{
    const FormFields form = {{QStringLiteral("auth_token"), token},
                             {QStringLiteral("user[hwfp]"), QString::fromStdString(machineIdentifier)}};
    const Reply reply =
        send(Method::Post, formRequest(requestUrl(QStringLiteral("info.json"))), encodeFormFields(form), nullptr, false);
    if (reply.networkError)
        throw RequestFailure(networkErrorText(reply.error).toStdString());
    out->login.clear();
    out->authToken.clear();
    out->machineRecordId.clear();
    out->uok.clear();
    if (email)
        email->clear();
    if (reply.status == 401)
        return false;
    if (reply.status != 200)
        throwIncorrectReply(reply.status);
    readSignInReply(reply.body, out, email);
    return true;
}

bool ServerAPI::scanners(QString token, std::vector<AccountScanner>* list)
{
    const QUrl url = requestUrl(QStringLiteral("scanners.json"), {{QStringLiteral("auth_token"), token}});
    const Reply reply = send(Method::Get, QNetworkRequest(url), QByteArray(), nullptr, true);
    if (reply.networkError)
        throw RequestFailure(networkErrorText(reply.error).toStdString());
    if (reply.status == 401)
        return false;
    if (reply.status != 200)
        throwIncorrectReply(reply.status);
    try {
        readScannerList(reply.body, list);
    } catch (const pt::ptree_error&) {
        return false;
    }
    return true;
}

bool ServerAPI::updateRequired(QString token, ApplicationInfo* out, QString version)
{
    const QUrl url = requestUrl(QStringLiteral("kybs/update_required.json"),
                                {{QStringLiteral("auth_token"), token}, {QStringLiteral("version"), version}});
    Reply reply;
    try {
        reply = send(Method::Get, unauthorizedRequest(url), QByteArray(), nullptr, false);
    } catch (const std::ios_base::failure&) {
        return false;
    }
    if (reply.networkError)
        return false;
    try {
        if (reply.status == 422) {
            readRefusalMessage(reply.body);
            return false;
        }
        if (reply.status != 200)
            return false;
        readUpdateOffer(reply.body, isWow64_, out);
    } catch (const pt::ptree_error&) {
        return false;
    }
    return true;
}

bool ServerAPI::applications(QString token, std::vector<ApplicationInfo>* list)
{
    const QUrl url = requestUrl(QStringLiteral("applications.json"), {{QStringLiteral("auth_token"), token}});
    const Reply reply = send(Method::Get, unauthorizedRequest(url), QByteArray(), nullptr, true);
    if (reply.networkError)
        throw RequestFailure(networkErrorText(reply.error).toStdString());
    if (reply.status != 200)
        return false;
    try {
        readApplicationList(reply.body, isWow64_, list);
    } catch (const pt::ptree_error&) {
        return false;
    }
    return true;
}

bool ServerAPI::serialNumber(QString token, std::string cameraId, HardwareItem* out)
{
    const QUrl url = requestUrl(QStringLiteral("scanners/serial_number.json"),
                                {{QStringLiteral("auth_token"), token},
                                 {QStringLiteral("camerabwsn"), QString::fromStdString(cameraId)}});
    const Reply reply = send(Method::Get, QNetworkRequest(url), QByteArray(), nullptr, false);
    if (reply.networkError)
        return false;
    try {
        if (reply.status == 200) {
            readSerialNumberReply(reply.body, out);
            return true;
        }
        if (reply.status == 422) {
            readRefusalMessage(reply.body);
            out->serial.clear();
            out->belongsTo = 4;
            out->calibrationState = -1;
        }
    } catch (const pt::ptree_error&) {
    }
    return false;
}

int ServerAPI::calibrationRevision(QString token, QString serial)
{
    const QUrl url = requestUrl(QStringLiteral("scanners/calibration_revision.json"),
                                {{QStringLiteral("auth_token"), token}, {QStringLiteral("serial_number"), serial}});
    Reply reply;
    try {
        reply = send(Method::Get, QNetworkRequest(url), QByteArray(), nullptr, false);
    } catch (const std::ios_base::failure&) {
        return -1;
    }
    if (reply.networkError)
        return -1;
    if (reply.status == 404)
        return 0;
    if (reply.status != 200 && reply.status != 422)
        return -1;
    try {
        return readCalibrationRevision(reply.body);
    } catch (const pt::ptree_error&) {
        return -1;
    }
}

QNetworkReply* ServerAPI::calibrationReply(QNetworkAccessManager* manager, QString token, QString scannerId)
{
    const QString id = QString::fromLatin1(QUrl::toPercentEncoding(scannerId));
    const QUrl url = requestUrl(QStringLiteral("scanners/") + id + QStringLiteral("/calibration.json"),
                                {{QStringLiteral("auth_token"), token}});
    return manager->get(QNetworkRequest(url));
}

QNetworkReply* ServerAPI::rentCalibrationReply(QNetworkAccessManager* manager, QString token, QString serial)
{
    const QUrl url = requestUrl(QStringLiteral("scanners/calibration_for_rent_scanners.json"),
                                {{QStringLiteral("auth_token"), token}, {QStringLiteral("serial_number"), serial}});
    return manager->get(QNetworkRequest(url));
}

bool ServerAPI::uploadLog(QString machineIdentifier, QString zipPath)
{
    auto file = std::make_unique<QFile>(zipPath);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart identifier;
    identifier.setHeader(QNetworkRequest::ContentDispositionHeader, QByteArrayLiteral("form-data; name=\"hwfp\""));
    identifier.setBody(machineIdentifier.toLatin1());
    multipart->append(identifier);
    QHttpPart archive;
    archive.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/zip, application/octet-stream"));
    archive.setHeader(QNetworkRequest::ContentDispositionHeader,
                      QByteArrayLiteral("form-data; name=\"log_file\"; filename=\"log_file.zip\""));
    archive.setBodyDevice(file.get());  // streamed from the file
    file.release()->setParent(multipart);
    multipart->append(archive);

    const Reply reply =
        send(Method::Post, QNetworkRequest(requestUrl(QStringLiteral("logs.json"))), QByteArray(), multipart, false);
    return reply.error == QNetworkReply::NoError;
}
