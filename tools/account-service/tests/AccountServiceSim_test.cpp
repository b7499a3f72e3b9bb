// The account-service simulator as a client sees it: real HTTPS on loopback, trusting only the test CA.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QTest>
#include <QUrlQuery>
#include <memory>

#include "tests/support/AccountServiceSim.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestProcess.h"

using ktest::AccountServiceSim;

namespace {

const QString kApi = QStringLiteral("/api/kyb/v2/");
const QString kEmail = QStringLiteral("demo@belmo.example");
const QString kPassword = QStringLiteral("demo-password");
const QByteArray kToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";
const QByteArray kUok = "demo-uok-2b4d6f8a0c1e3a5c7e9b";
// A machine identifier with blanks and signs, as the passphrase of the enciphered values.
const QString kHwfp = QStringLiteral("9d2e41 C:\\Program Files\\Kestrune +&=");

struct Fetched {
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray location;
    QByteArray contentType;
    qint64 elapsedMs = 0;
    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

struct Call {
    QByteArray method = "GET";
    QByteArray body;
    QByteArray contentType;
    QHttpMultiPart* multipart = nullptr;  // taken over
    QString caFile = AccountServiceSim::trustedCaFile();
    int timeoutMs = 20000;
};

Fetched fetch(const QUrl& url, Call call = Call())
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(call.caFile));  // the only trusted CA
    request.setSslConfiguration(ssl);
    if (!call.contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, call.contentType);
    QElapsedTimer timer;
    timer.start();
    QNetworkReply* reply = nullptr;
    if (call.multipart) {
        reply = manager.post(request, call.multipart);
        call.multipart->setParent(reply);
    } else if (call.method == "GET") {
        reply = manager.get(request);
    } else {
        reply = manager.sendCustomRequest(request, call.method, call.body);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(call.timeoutMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    Fetched f;
    f.finished = reply->isFinished();
    f.elapsedMs = timer.elapsed();
    if (!f.finished)
        reply->abort();
    f.error = reply->error();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (f.finished)
        f.body = reply->readAll();
    f.location = reply->rawHeader("Location");
    f.contentType = reply->rawHeader("Content-Type");
    delete reply;
    return f;
}

Fetched postForm(const QUrl& url, const QByteArray& body)
{
    Call call;
    call.method = "POST";
    call.body = body;
    call.contentType = "application/x-www-form-urlencoded";
    return fetch(url, call);
}

QByteArray formBody(const QList<QPair<QString, QString>>& items)
{
    QByteArray out;
    for (const auto& item : items) {
        if (!out.isEmpty())
            out += '&';
        out += QUrl::toPercentEncoding(item.first) + '=' + QUrl::toPercentEncoding(item.second);
    }
    return out;
}

QByteArray decipher(const QString& base64, const QString& passphrase)
{
    const ktest::ProcessResult r = ktest::runProgram(
        QStringLiteral("openssl"),
        {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-256-cbc"), QStringLiteral("-md"),
         QStringLiteral("md5"), QStringLiteral("-a"), QStringLiteral("-pass"), QStringLiteral("pass:") + passphrase},
        QString(), base64.toUtf8() + '\n');
    return r.ok() ? r.out : QByteArray("<openssl failed: ") + r.err + '>';
}

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

QString tokenQuery()
{
    return QStringLiteral("?auth_token=") + QString::fromLatin1(kToken);
}

}  // namespace

// One server for the cases that only read the built-in answers or the log.
class SimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim = new AccountServiceSim(); }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(sim->isRunning());
        sim->setScenario(QJsonObject());
        sim->clearLog();
    }
    static AccountServiceSim* sim;
};
AccountServiceSim* SimTest::sim = nullptr;

TEST_F(SimTest, HelperPointsTheEnvironmentAtTheServer)
{
    EXPECT_EQ(qgetenv("KESTRUNE_SERVICE_HOST"), sim->authority().toUtf8());
    EXPECT_EQ(qgetenv("KESTRUNE_CA_FILE"), QFile::encodeName(sim->caFile()));
    EXPECT_EQ(sim->url(QStringLiteral("/a?b=c")).toString(),
              QStringLiteral("https://127.0.0.1:%1/a?b=c").arg(sim->port()));
}

TEST_F(SimTest, RoutesAnswerInTurnAndTheLastRepeats)
{
    sim->setScenario(object(R"({"routes": {
        "/api/kyb/v2/applications.json": {"status": 500, "body": "down"},
        "/turns": [{"status": 401}, {"json": {"a": 1}, "headers": {"X-Turn": "two"}}],
        "/api/kyb/v2/scanners.json": {"status": 203},
        "/moved": {"status": 302, "headers": {"Location": "{base}/elsewhere"}}}})"));

    const Fetched down = fetch(sim->url(kApi + QStringLiteral("applications.json") + tokenQuery()));
    EXPECT_EQ(down.status, 500);
    EXPECT_EQ(down.body, "down");

    EXPECT_EQ(fetch(sim->url(QStringLiteral("/turns"))).status, 401);
    for (int i = 0; i < 2; ++i) {
        const Fetched second = fetch(sim->url(QStringLiteral("/turns")));
        EXPECT_EQ(second.status, 200);
        EXPECT_EQ(second.json().object().value(QStringLiteral("a")).toInt(), 1);
    }

    // Only a status: the built-in body stays.
    const Fetched scanners = fetch(sim->url(kApi + QStringLiteral("scanners.json") + tokenQuery()));
    EXPECT_EQ(scanners.status, 203);
    EXPECT_EQ(scanners.json().array().size(), 2);

    EXPECT_EQ(fetch(sim->url(QStringLiteral("/moved"))).location,
              QStringLiteral("https://%1/elsewhere").arg(sim->authority()).toUtf8());

    // A new scenario starts the turns again; without routes the built-in answers come back.
    sim->setScenario(object(R"({"routes": {"/turns": [{"status": 401}, {"status": 204}]}})"));
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/turns"))).status, 401);
    sim->setScenario(QJsonObject());
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/turns"))).status, 404);
    EXPECT_EQ(fetch(sim->url(kApi + QStringLiteral("applications.json") + tokenQuery())).status, 200);
}

struct FormCase {
    const char* name;
    QByteArray body;
    QList<QPair<QString, QString>> expected;
};

class SimFormTest : public SimTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(SimFormTest, LogsFormFieldsInOrderDecoded)
{
    const FormCase& c = GetParam();
    postForm(sim->url(QStringLiteral("/form")), c.body);
    const QList<QJsonObject> log = sim->requestsTo(QStringLiteral("/form"));
    ASSERT_EQ(log.size(), 1);
    QList<QPair<QString, QString>> form;
    for (const QJsonValue& item : log[0].value(QStringLiteral("form")).toArray())
        form.append({item.toArray().at(0).toString(), item.toArray().at(1).toString()});
    EXPECT_EQ(form, c.expected);
    EXPECT_EQ(log[0].value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    EXPECT_EQ(log[0].value(QStringLiteral("body_size")).toInt(), c.body.size());
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, SimFormTest,
    ::testing::Values(
        FormCase{"order",
                 "user%5Bemail%5D=a%40b.example&user%5Bpassword%5D=x&user%5Bhwfp%5D=m",
                 {{"user[email]", "a@b.example"}, {"user[password]", "x"}, {"user[hwfp]", "m"}}},
        FormCase{"reserved",
                 formBody({{"user[password]", QStringLiteral("p+q&r=s%41t \u00e9")}, {"z", "1"}}),
                 {{"user[password]", QStringLiteral("p+q&r=s%41t \u00e9")}, {"z", "1"}}},
        // What an encoder that leaves "+" and "%" alone sends arrives changed, as on the real service.
        FormCase{"unencoded", "p=p+q%41", {{"p", "p qA"}}},
        FormCase{"empty", "a=&b&=c", {{"a", ""}, {"b", ""}, {"", "c"}}}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, LogsQueryAndHeaders)
{
    fetch(sim->url(QStringLiteral("/q?auth_token=a%2Bb%26c&version=1.4.4.1&serial_number=%C3%A9")));
    const QList<QJsonObject> log = sim->requestsTo(QStringLiteral("/q"));
    ASSERT_EQ(log.size(), 1);
    const QJsonObject query = log[0].value(QStringLiteral("query")).toObject();
    EXPECT_EQ(query.value(QStringLiteral("auth_token")).toString(), QStringLiteral("a+b&c"));
    EXPECT_EQ(query.value(QStringLiteral("version")).toString(), QStringLiteral("1.4.4.1"));
    EXPECT_EQ(query.value(QStringLiteral("serial_number")).toString(), QStringLiteral("\u00e9"));
    EXPECT_EQ(log[0].value(QStringLiteral("headers")).toObject().value(QStringLiteral("host")).toString(),
              sim->authority());
}

TEST_F(SimTest, MultipartUploadIsLoggedWithItsParts)
{
    static const char bytes[] = "PK\x03\x04 not a real archive, but binary \x00\x01\xff";
    const QByteArray zip(bytes, sizeof bytes - 1);
    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart hwfp;
    hwfp.setHeader(QNetworkRequest::ContentDispositionHeader, QVariant("form-data; name=\"hwfp\""));
    hwfp.setBody(kHwfp.toLatin1());
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentTypeHeader, QVariant("application/zip, application/octet-stream"));
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QVariant("form-data; name=\"log_file\"; filename=\"log_file.zip\""));
    file.setBody(zip);
    multipart->append(hwfp);
    multipart->append(file);
    Call call;
    call.multipart = multipart;
    const Fetched reply = fetch(sim->url(kApi + QStringLiteral("logs.json")), call);
    EXPECT_EQ(reply.error, QNetworkReply::NoError);
    EXPECT_EQ(reply.status, 200);

    const QList<QJsonObject> log = sim->requestsTo(kApi + QStringLiteral("logs.json"));
    ASSERT_EQ(log.size(), 1);
    const QJsonArray parts = log[0].value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 2);
    const QJsonObject first = parts[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("name")).toString(), QStringLiteral("hwfp"));
    EXPECT_TRUE(first.value(QStringLiteral("filename")).isNull());
    EXPECT_EQ(first.value(QStringLiteral("size")).toInt(), kHwfp.size());
    const QJsonObject second = parts[1].toObject();
    EXPECT_EQ(second.value(QStringLiteral("name")).toString(), QStringLiteral("log_file"));
    EXPECT_EQ(second.value(QStringLiteral("filename")).toString(), QStringLiteral("log_file.zip"));
    EXPECT_EQ(second.value(QStringLiteral("content_type")).toString(),
              QStringLiteral("application/zip, application/octet-stream"));
    EXPECT_EQ(second.value(QStringLiteral("size")).toInt(), zip.size());
    EXPECT_EQ(second.value(QStringLiteral("sha1")).toString().toLatin1(),
              QCryptographicHash::hash(zip, QCryptographicHash::Sha1).toHex());
    QFile saved(second.value(QStringLiteral("saved")).toString());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), zip);

    // Without the log part the service refuses the upload.
    auto* partial = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    partial->append(hwfp);
    call.multipart = partial;
    EXPECT_EQ(fetch(sim->url(kApi + QStringLiteral("logs.json")), call).status, 422);
}

TEST_F(SimTest, DelayStallEarlyCloseAndMalformedAsAClientSeesThem)
{
    sim->setScenario(object(R"({"routes": {
        "/slow": {"delay_ms": 400, "body": "late"},
        "/stall": {"stall": true},
        "/cut": {"close_early": true, "body": "0123456789012345678901234567890123456789"},
        "/api/kyb/v2/login.json": {"malformed": true}}})"));

    const Fetched slow = fetch(sim->url(QStringLiteral("/slow")));
    EXPECT_EQ(slow.body, "late");
    EXPECT_GE(slow.elapsedMs, 400);

    // A stalled request holds no other: a second client is answered while the first still waits.
    QNetworkAccessManager manager;
    QNetworkRequest stalledRequest(sim->url(QStringLiteral("/stall")));
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(AccountServiceSim::trustedCaFile()));
    stalledRequest.setSslConfiguration(ssl);
    std::unique_ptr<QNetworkReply> stalled(manager.get(stalledRequest));
    Call shortWait;
    shortWait.timeoutMs = 800;
    EXPECT_FALSE(fetch(sim->url(QStringLiteral("/stall")), shortWait).finished);
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/signup"))).status, 200);
    EXPECT_FALSE(stalled->isFinished());
    EXPECT_EQ(sim->requestsTo(QStringLiteral("/stall")).size(), 2);  // logged although never answered
    stalled->abort();

    const Fetched cut = fetch(sim->url(QStringLiteral("/cut")));
    EXPECT_TRUE(cut.finished);
    EXPECT_EQ(cut.error, QNetworkReply::RemoteHostClosedError);
    EXPECT_LT(cut.body.size(), 40);

    const Fetched malformed = postForm(sim->url(kApi + QStringLiteral("login.json")),
                                       formBody({{"user[email]", kEmail}, {"user[password]", kPassword},
                                                 {"user[hwfp]", kHwfp}}));
    EXPECT_EQ(malformed.status, 200);
    QJsonParseError parse;
    QJsonDocument::fromJson(malformed.body, &parse);
    EXPECT_NE(parse.error, QJsonParseError::NoError);
}

TEST_F(SimTest, UnsizedAndSlowDownloads)
{
    QFile file(sim->filesDir() + QStringLiteral("/big.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray content;
    for (int i = 0; i < 20000; ++i)
        content += QByteArray::number(i) + ' ';
    file.write(content);
    file.close();
    sim->setScenario(object(R"({"routes": {
        "/files/unsized.bin": {"file": "big.bin", "chunked": true},
        "/files/big.bin": {"block_delay_ms": 100, "block_size": 1000}}})"));

    QNetworkAccessManager manager;
    QNetworkRequest request(sim->url(QStringLiteral("/files/unsized.bin")));
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(AccountServiceSim::trustedCaFile()));
    request.setSslConfiguration(ssl);
    std::unique_ptr<QNetworkReply> unsized(manager.get(request));
    QSignalSpy done(unsized.get(), &QNetworkReply::finished);
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(unsized->error(), QNetworkReply::NoError);
    EXPECT_FALSE(unsized->header(QNetworkRequest::ContentLengthHeader).isValid());
    EXPECT_EQ(unsized->readAll(), content);

    // A slow body: the client sees part of it arrive, and can give up in the middle.
    request.setUrl(sim->url(QStringLiteral("/files/big.bin")));
    std::unique_ptr<QNetworkReply> slow(manager.get(request));
    qint64 received = 0;
    qint64 total = 0;
    QObject::connect(slow.get(), &QNetworkReply::downloadProgress, [&](qint64 r, qint64 t) {
        received = r;
        total = t;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return received > 0; }, 20000));
    EXPECT_FALSE(slow->isFinished());  // the whole body takes over ten seconds
    EXPECT_GT(received, 0);
    EXPECT_LT(received, content.size());
    EXPECT_EQ(total, content.size());
    slow->abort();
    EXPECT_EQ(slow->error(), QNetworkReply::OperationCanceledError);
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/signup"))).status, 200);
}

TEST_F(SimTest, LoginAndInfoGiveTokenAndUokEncipheredWithTheMachineIdentifier)
{
    const Fetched login = postForm(sim->url(kApi + QStringLiteral("login.json")),
                                   formBody({{"user[email]", kEmail}, {"user[password]", kPassword},
                                             {"user[hwfp]", kHwfp}}));
    ASSERT_EQ(login.status, 200);
    const QJsonObject reply = login.json().object();
    const QString crypted = reply.value(QStringLiteral("auth_token_crypted")).toString();
    EXPECT_TRUE(QByteArray::fromBase64(crypted.toLatin1()).startsWith("Salted__"));
    EXPECT_EQ(decipher(crypted, kHwfp), kToken);
    EXPECT_EQ(decipher(reply.value(QStringLiteral("uok")).toString(), kHwfp), kUok);
    EXPECT_EQ(reply.value(QStringLiteral("hwfp_id")).toString(), QStringLiteral("4711"));
    EXPECT_NE(decipher(crypted, QStringLiteral("another machine")), kToken);

    const Fetched info = postForm(sim->url(kApi + QStringLiteral("info.json")),
                                  formBody({{"auth_token", QString::fromLatin1(kToken)}, {"user[hwfp]", kHwfp}}));
    ASSERT_EQ(info.status, 200);
    EXPECT_EQ(info.json().object().value(QStringLiteral("email")).toString(), kEmail);
    EXPECT_EQ(decipher(info.json().object().value(QStringLiteral("auth_token_crypted")).toString(), kHwfp), kToken);

    struct Refused {
        const char* path;
        QByteArray body;
        int status;
    };
    const Refused refused[] = {
        {"login.json", formBody({{"user[email]", kEmail}, {"user[password]", "wrong"}, {"user[hwfp]", kHwfp}}), 401},
        {"login.json", formBody({{"user[email]", "nobody@belmo.example"}, {"user[password]", kPassword},
                                 {"user[hwfp]", kHwfp}}), 401},
        {"login.json", formBody({{"user[email]", kEmail}, {"user[password]", kPassword}}), 422},
        {"info.json", formBody({{"auth_token", "stale"}, {"user[hwfp]", kHwfp}}), 401},
    };
    for (const Refused& r : refused)
        EXPECT_EQ(postForm(sim->url(kApi + QLatin1String(r.path)), r.body).status, r.status) << r.body.constData();

    // The scenario's account replaces the demo's values.
    sim->setScenario(object(R"({"account": {"password": "p+q&r=s%41t"}})"));
    EXPECT_EQ(postForm(sim->url(kApi + QStringLiteral("login.json")),
                       formBody({{"user[email]", kEmail}, {"user[password]", "p+q&r=s%41t"}, {"user[hwfp]", kHwfp}}))
                  .status,
              200);
}

TEST_F(SimTest, ApplicationsLinkToInstallerFiles)
{
    EXPECT_EQ(fetch(sim->url(kApi + QStringLiteral("applications.json?auth_token=stale"))).status, 401);
    const Fetched list = fetch(sim->url(kApi + QStringLiteral("applications.json") + tokenQuery()));
    ASSERT_EQ(list.status, 200);
    const QJsonArray apps = list.json().array();
    ASSERT_EQ(apps.size(), 2);
    for (const QJsonValue& app : apps) {
        const QJsonObject version = app.toObject().value(QStringLiteral("version")).toObject();
        EXPECT_FALSE(app.toObject().value(QStringLiteral("product")).toObject().value(QStringLiteral("name"))
                         .toString().isEmpty());
        const QString link32 = version.value(QStringLiteral("download_link32")).toString();
        const QString link64 = version.value(QStringLiteral("download_link64")).toString();
        EXPECT_NE(link32, link64);
        for (const QString& link : {link32, link64}) {
            ASSERT_TRUE(link.startsWith(sim->url(QStringLiteral("/files/")).toString())) << link.toStdString();
            const Fetched file = fetch(QUrl(link));
            EXPECT_EQ(file.status, 200);
            QFile local(sim->filesDir() + QLatin1Char('/') + QUrl(link).fileName());
            ASSERT_TRUE(local.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.body, local.readAll());
        }
    }
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/files/none.exe"))).status, 404);
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/files/..%2Fscenario.json"))).status, 404);
}

TEST_F(SimTest, ScannerRequestsAndCalibrationArchives)
{
    struct Case {
        const char* pathAndQuery;  // after the prefix; the token is added
        int status;
        const char* key;  // a key the JSON reply holds, or nullptr
        QJsonValue value;
    };
    const Case cases[] = {
        {"scanners/serial_number.json?camerabwsn=30009999", 200, "belongs_to", 1},
        {"scanners/serial_number.json?camerabwsn=30001234", 200, "serial_number", "BS3-10001"},
        {"scanners/serial_number.json?camerabwsn=1", 422, "message", QJsonValue()},
        {"scanners/calibration_revision.json?serial_number=BS3-90009", 200, "calibration_revision", 3},
        {"scanners/calibration_revision.json?serial_number=BS2-20002", 200, "calibration_revision", 2},
        {"scanners/calibration_revision.json?serial_number=XX-1", 404, nullptr, QJsonValue()},
        {"scanners/999/calibration.json?x=1", 404, nullptr, QJsonValue()},
        {"scanners/calibration_for_rent_scanners.json?serial_number=BS3-10001", 404, nullptr, QJsonValue()},
        {"kybs/update_required.json?version=1.4.4.1", 200, "version", "1.4.5"},
        {"kybs/update_required.json?version=1.4.5", 422, "message", QJsonValue()},
    };
    for (const Case& c : cases) {
        const Fetched f = fetch(sim->url(kApi + QLatin1String(c.pathAndQuery) + QStringLiteral("&auth_token=") +
                                         QString::fromLatin1(kToken)));
        EXPECT_EQ(f.status, c.status) << c.pathAndQuery;
        if (c.key) {
            const QJsonValue got = f.json().object().value(QLatin1String(c.key));
            EXPECT_FALSE(got.isUndefined()) << c.pathAndQuery;
            if (!c.value.isNull()) {
                EXPECT_EQ(got, c.value) << c.pathAndQuery;
            }
        }
    }
    EXPECT_EQ(fetch(sim->url(kApi + QStringLiteral("scanners.json?auth_token=stale"))).status, 401);
    const QJsonArray scanners = fetch(sim->url(kApi + QStringLiteral("scanners.json") + tokenQuery())).json().array();
    ASSERT_EQ(scanners.size(), 2);
    EXPECT_EQ(scanners[0].toObject().value(QStringLiteral("calibration_revision")).toInt(), 5);
    EXPECT_TRUE(scanners[0].toObject().value(QStringLiteral("upgrade_url")).isNull());

    // Archives hold the scanner's description with its serial and revision; Info-ZIP reads them.
    const QString archives[][2] = {
        {QStringLiteral("scanners/501/calibration.json") + tokenQuery(), QStringLiteral("BS3-10001")},
        {QStringLiteral("scanners/calibration_for_rent_scanners.json") + tokenQuery() +
             QStringLiteral("&serial_number=BS3-90009"),
         QStringLiteral("BS3-90009")},
    };
    for (const auto& a : archives) {
        const Fetched zip = fetch(sim->url(kApi + a[0]));
        ASSERT_EQ(zip.status, 200);
        EXPECT_EQ(zip.contentType, "application/zip");
        const QString path = sim->workDir() + QStringLiteral("/fetched.zip");
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(zip.body);
        out.close();
        EXPECT_TRUE(ktest::runProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), path}).ok());
        const QByteArray device =
            ktest::runProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), path, QStringLiteral("Device.xml")}).out;
        EXPECT_TRUE(device.contains("<serial>string : " + a[1].toUtf8() + "</serial>")) << device.constData();
        EXPECT_TRUE(device.contains("<cid>string : ")) << device.constData();
    }
}

TEST_F(SimTest, WebSignInRedirectsWithTheToken)
{
    const Fetched start = fetch(sim->url(QStringLiteral("/services?kyb=true")));
    EXPECT_EQ(start.status, 200);
    EXPECT_TRUE(start.body.contains("action=\"/services/sign_in\""));
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/signup"))).status, 200);
    EXPECT_EQ(fetch(sim->url(QStringLiteral("/password/new"))).status, 200);

    const Fetched refused = postForm(sim->url(QStringLiteral("/services/sign_in")),
                                     formBody({{"user[email]", kEmail}, {"user[password]", "wrong"}}));
    EXPECT_EQ(refused.status, 200);
    EXPECT_TRUE(refused.body.contains("Invalid email or password."));
    EXPECT_TRUE(refused.location.isEmpty());

    const auto tokenOf = [](const Fetched& f) {
        const QUrl target(QString::fromUtf8(f.location));
        EXPECT_EQ(target.scheme(), QStringLiteral("https"));
        EXPECT_EQ(target.host(), QStringLiteral("127.0.0.1"));
        return QUrlQuery(target).queryItemValue(QStringLiteral("auth_token"), QUrl::FullyDecoded).toLatin1();
    };
    const Fetched signedIn = postForm(sim->url(QStringLiteral("/services/sign_in")),
                                      formBody({{"user[email]", kEmail}, {"user[password]", kPassword}}));
    EXPECT_EQ(signedIn.status, 302);
    EXPECT_EQ(tokenOf(signedIn), kToken);
    EXPECT_EQ(fetch(QUrl(QString::fromUtf8(signedIn.location))).status, 200);

    // An account with a live web session goes straight to the redirect.
    sim->setScenario(object(R"({"account": {"web_signed_in": true, "auth_token": "web+token"}})"));
    const Fetched session = fetch(sim->url(QStringLiteral("/services?kyb=true")));
    EXPECT_EQ(session.status, 302);
    EXPECT_EQ(tokenOf(session), "web+token");
}

TEST(AccountServiceSimTrust, UntrustedCaIsRefused)
{
    AccountServiceSim::Options options;
    options.trustedCa = false;
    AccountServiceSim sim(QJsonObject(), options);
    ASSERT_TRUE(sim.isRunning());
    EXPECT_NE(sim.caFile(), AccountServiceSim::trustedCaFile());
    EXPECT_EQ(qgetenv("KESTRUNE_CA_FILE"), QFile::encodeName(AccountServiceSim::trustedCaFile()));

    const Fetched refused = fetch(sim.url(QStringLiteral("/signup")));
    EXPECT_EQ(refused.error, QNetworkReply::SslHandshakeFailedError);
    EXPECT_TRUE(sim.requests().isEmpty());

    Call trusting;
    trusting.caFile = sim.caFile();
    EXPECT_EQ(fetch(sim.url(QStringLiteral("/signup")), trusting).status, 200);
}

TEST(AccountServiceSimTrust, PlainHttpFailsTheHandshake)
{
    AccountServiceSim::Options options;
    options.plainHttp = true;
    AccountServiceSim sim(QJsonObject(), options);
    ASSERT_TRUE(sim.isRunning());
    EXPECT_EQ(sim.url(QStringLiteral("/signup")).scheme(), QStringLiteral("http"));
    EXPECT_EQ(fetch(sim.url(QStringLiteral("/signup"))).status, 200);

    QUrl https = sim.url(QStringLiteral("/signup"));
    https.setScheme(QStringLiteral("https"));
    EXPECT_EQ(fetch(https).error, QNetworkReply::SslHandshakeFailedError);
}

TEST(AccountServiceSimLife, StopsAfterItsLifetimeAndRestoresTheEnvironment)
{
    qputenv("KESTRUNE_SERVICE_HOST", "before.example");
    qunsetenv("KESTRUNE_CA_FILE");
    QUrl url;
    {
        AccountServiceSim::Options options;
        options.lifetimeSeconds = 4;  // time enough to start and answer once
        AccountServiceSim sim(QJsonObject(), options);
        ASSERT_TRUE(sim.isRunning());
        url = sim.url(QStringLiteral("/signup"));
        EXPECT_EQ(fetch(url).status, 200);
        QElapsedTimer waited;
        waited.start();
        while (sim.isRunning() && waited.elapsed() < 30000)
            QTest::qWait(100);
        EXPECT_FALSE(sim.isRunning());
    }
    EXPECT_EQ(fetch(url).error, QNetworkReply::ConnectionRefusedError);
    EXPECT_EQ(qgetenv("KESTRUNE_SERVICE_HOST"), "before.example");
    EXPECT_FALSE(qEnvironmentVariableIsSet("KESTRUNE_CA_FILE"));
    qunsetenv("KESTRUNE_SERVICE_HOST");
}

TEST(AccountServiceSimLife, StopsWhenItsParentIsGone)
{
    QProcess parent;
    parent.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(parent.waitForStarted());
    const QString dir = ktest::testHome() + QStringLiteral("/orphan");
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(QStringLiteral("python3"),
                 {ktest::sourcePath(QStringLiteral("tools/account-service/account_service.py")),
                  QStringLiteral("serve"), QStringLiteral("--plain-http"), QStringLiteral("--files-dir"), dir,
                  QStringLiteral("--port-file"), dir + QStringLiteral("/port"), QStringLiteral("--parent-pid"),
                  QString::number(parent.processId())});
    ASSERT_TRUE(server.waitForStarted());
    EXPECT_FALSE(server.waitForFinished(1500));  // alive while its parent is
    parent.kill();
    parent.waitForFinished();
    EXPECT_TRUE(server.waitForFinished(30000));
    if (server.state() != QProcess::NotRunning)
        server.kill();
    server.waitForFinished();
}
