// What every account-service operation sends (checked in the simulator's log) and how it reads the answer.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <functional>
#include <ios>
#include <stdexcept>

#include "account/ServerAPI.h"
#include "kyb/tests/AccountSimTest.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/TestHome.h"

namespace {

// Texts that break a careless encoder of forms, queries and paths.
const QString email = QStringLiteral("dëmo+1@belmo.example");
const QString password = QStringLiteral("p+q&r=s%41t é");
const QString token = QStringLiteral("tok+en&x=%41 é/?#;");
const QString scannerId = QStringLiteral("50 1+é");
const std::string machineId = "hw;id+1";

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

QJsonArray pairs(std::initializer_list<std::pair<QString, QString>> items)
{
    QJsonArray array;
    for (const auto& [name, value] : items)
        array.append(QJsonArray{name, value});
    return array;
}

QString sha1(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}

QByteArray awaitBody(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    return reply->readAll();
}

// The link each answer offers to this computer.
std::string offeredLink(const char* link32, const char* link64)
{
    return ServerAPI::instance()->isWow64() ? link64 : link32;
}

class AccountProtocol : public ::testing::Test {
protected:
    void SetUp() override
    {
        accountState = AccountState();
        ASSERT_TRUE(ktest::trustSimulatorCa());
    }
};

TEST_F(AccountProtocol, EveryOperationSendsItsRequestIntact)
{
    QJsonObject account = parse(R"({"scanners": [
        {"id": "50 1+é", "serial_number": "BS3-10001", "calibration_revision": 5, "has_texture_camera": true,
         "upgrade_url": null},
        {"id": "502", "serial_number": "BS2-20002", "calibration_revision": 2, "has_texture_camera": false,
         "upgrade_url": "https://www.belmo.example/scan2/upgrade"}]})");
    account.insert(QStringLiteral("email"), email);
    account.insert(QStringLiteral("password"), password);
    account.insert(QStringLiteral("auth_token"), token);
    ktest::AccountServiceSim sim(QJsonObject{{QStringLiteral("account"), account}});
    ASSERT_TRUE(sim.isRunning());
    ServerAPI* api = ServerAPI::instance();

    AccountState signedIn;
    ASSERT_TRUE(api->login(email, password, machineId, &signedIn));
    EXPECT_TRUE(QByteArray::fromStdString(signedIn.authToken).startsWith("U2FsdGVkX1"));  // still enciphered
    EXPECT_TRUE(QByteArray::fromStdString(signedIn.uok).startsWith("U2FsdGVkX1"));
    EXPECT_EQ(signedIn.machineRecordId, "4711");

    AccountState info;
    QString infoEmail;
    ASSERT_TRUE(api->info(token, machineId, &infoEmail, &info));
    EXPECT_EQ(infoEmail, email);
    EXPECT_EQ(info.machineRecordId, "4711");
    EXPECT_FALSE(info.authToken.empty());

    std::vector<AccountScanner> scanners;
    ASSERT_TRUE(api->scanners(token, &scanners));
    ASSERT_EQ(scanners.size(), 2u);
    EXPECT_EQ(scanners[0].id, "50 1+é");
    EXPECT_EQ(scanners[0].serialNumber, "BS3-10001");
    EXPECT_EQ(scanners[0].calibrationRevision, 5);
    EXPECT_TRUE(scanners[0].hasTextureCamera);
    EXPECT_EQ(scanners[0].upgradeUrl, "");  // null
    EXPECT_FALSE(scanners[1].hasTextureCamera);
    EXPECT_EQ(scanners[1].upgradeUrl, "https://www.belmo.example/scan2/upgrade");

    ApplicationInfo offer;
    ASSERT_TRUE(api->updateRequired(token, &offer, QStringLiteral("1.4.4.1")));
    EXPECT_EQ(offer.versionName, "1.4.5");
    EXPECT_EQ(QString::fromStdString(offer.downloadLink),
              sim.url(QStringLiteral("/files/") +
                      QString::fromStdString(offeredLink("KestruneSetup-1.4.5.exe", "KestruneSetup-1.4.5-x64.exe")))
                  .toString());

    std::vector<ApplicationInfo> applications;
    ASSERT_TRUE(api->applications(token, &applications));
    ASSERT_EQ(applications.size(), 2u);
    EXPECT_EQ(applications[0].id, "101");
    EXPECT_EQ(applications[0].versionName, "3.2.1");
    EXPECT_EQ(applications[0].productName, "Belmo Studio");
    EXPECT_EQ(applications[0].upgradeUrl, "null");  // kept as the text, unlike a scanner's
    EXPECT_EQ(applications[0].productType, 1);
    EXPECT_TRUE(QString::fromStdString(applications[0].downloadLink)
                    .endsWith(QString::fromStdString(offeredLink("/BelmoStudio-3.2.1.exe", "/BelmoStudio-3.2.1-x64.exe"))));
    EXPECT_EQ(applications[1].upgradeUrl, "https://www.belmo.example/measure/upgrade");
    EXPECT_EQ(applications[1].productType, 2);

    HardwareItem item;
    item.calibrationState = 7;
    ASSERT_TRUE(api->serialNumber(token, "30009999", &item));
    EXPECT_EQ(item.serial, "BS3-90009");
    EXPECT_EQ(item.belongsTo, 1);
    EXPECT_EQ(item.calibrationState, 0);

    EXPECT_EQ(api->calibrationRevision(token, QStringLiteral("BS2-20002")), 2);

    QNetworkAccessManager manager;
    QNetworkReply* own = api->calibrationReply(&manager, token, scannerId);
    EXPECT_TRUE(awaitBody(own).startsWith("PK\x03\x04"));
    EXPECT_EQ(own->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QNetworkReply* rented = api->rentCalibrationReply(&manager, token, QStringLiteral("BS3-90009"));
    EXPECT_TRUE(awaitBody(rented).startsWith("PK\x03\x04"));

    const QString zip = ktest::testHome() + QStringLiteral("/upload.zip");
    QByteArray zipBytes;
    for (int i = 0; i < 5000; ++i)
        zipBytes += QByteArray::number(i * 7919) + '\n';
    {
        QFile file(zip);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(zipBytes);
    }
    EXPECT_TRUE(api->uploadLog(QString::fromStdString(machineId), zip));
    EXPECT_FALSE(accountState.offlineMode);

    // What arrived, request by request.
    const QList<QJsonObject> log = sim.requests();
    ASSERT_EQ(log.size(), 10);
    struct Expected {
        const char* method;
        QString path;
        QJsonObject query;
        QJsonArray form;
        bool authorizationNone;
    };
    const QString hwfp = QString::fromStdString(machineId);
    const QJsonObject byToken{{QStringLiteral("auth_token"), token}};
    auto with = [&](const char* name, const QString& value) {
        QJsonObject query = byToken;
        query.insert(QString::fromLatin1(name), value);
        return query;
    };
    const Expected expected[] = {
        {"POST", QStringLiteral("/api/kyb/v2/login.json"), {},
         pairs({{QStringLiteral("user[email]"), email}, {QStringLiteral("user[password]"), password},
                {QStringLiteral("user[hwfp]"), hwfp}}),
         false},
        {"POST", QStringLiteral("/api/kyb/v2/info.json"), {},
         pairs({{QStringLiteral("auth_token"), token}, {QStringLiteral("user[hwfp]"), hwfp}}), false},
        {"GET", QStringLiteral("/api/kyb/v2/scanners.json"), byToken, {}, false},
        {"GET", QStringLiteral("/api/kyb/v2/kybs/update_required.json"), with("version", QStringLiteral("1.4.4.1")),
         {}, true},
        {"GET", QStringLiteral("/api/kyb/v2/applications.json"), byToken, {}, true},
        {"GET", QStringLiteral("/api/kyb/v2/scanners/serial_number.json"),
         with("camerabwsn", QStringLiteral("30009999")), {}, false},
        {"GET", QStringLiteral("/api/kyb/v2/scanners/calibration_revision.json"),
         with("serial_number", QStringLiteral("BS2-20002")), {}, false},
        {"GET", QStringLiteral("/api/kyb/v2/scanners/") + scannerId + QStringLiteral("/calibration.json"), byToken, {},
         false},
        {"GET", QStringLiteral("/api/kyb/v2/scanners/calibration_for_rent_scanners.json"),
         with("serial_number", QStringLiteral("BS3-90009")), {}, false},
        {"POST", QStringLiteral("/api/kyb/v2/logs.json"), {}, {}, false},
    };
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(expected[i].path.toStdString());
        const QJsonObject& request = log[i];
        const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
        EXPECT_EQ(request.value(QStringLiteral("method")).toString(), QString::fromLatin1(expected[i].method));
        EXPECT_EQ(request.value(QStringLiteral("path")).toString(), expected[i].path);
        EXPECT_EQ(request.value(QStringLiteral("query")).toObject(), expected[i].query);
        EXPECT_EQ(request.value(QStringLiteral("form")).toArray(), expected[i].form);
        if (expected[i].authorizationNone)
            EXPECT_EQ(headers.value(QStringLiteral("authorization")).toString(), QStringLiteral("None"));
        else
            EXPECT_FALSE(headers.contains(QStringLiteral("authorization")));
        if (!expected[i].form.isEmpty()) {
            EXPECT_EQ(headers.value(QStringLiteral("content-type")).toString(),
                      QStringLiteral("application/x-www-form-urlencoded"));
        }
    }

    const QJsonObject upload = log[9];
    EXPECT_TRUE(upload.value(QStringLiteral("headers"))
                    .toObject()
                    .value(QStringLiteral("content-type"))
                    .toString()
                    .startsWith(QStringLiteral("multipart/form-data; boundary=")));
    const QJsonArray parts = upload.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 2);
    const QJsonObject hwfpPart = parts[0].toObject();
    EXPECT_EQ(hwfpPart.value(QStringLiteral("name")).toString(), QStringLiteral("hwfp"));
    EXPECT_TRUE(hwfpPart.value(QStringLiteral("filename")).isNull());
    EXPECT_EQ(hwfpPart.value(QStringLiteral("sha1")).toString(), sha1(QByteArray::fromStdString(machineId)));
    const QJsonObject filePart = parts[1].toObject();
    EXPECT_EQ(filePart.value(QStringLiteral("name")).toString(), QStringLiteral("log_file"));
    EXPECT_EQ(filePart.value(QStringLiteral("filename")).toString(), QStringLiteral("log_file.zip"));
    EXPECT_EQ(filePart.value(QStringLiteral("content_type")).toString(),
              QStringLiteral("application/zip, application/octet-stream"));
    EXPECT_EQ(filePart.value(QStringLiteral("size")).toInt(), zipBytes.size());
    EXPECT_EQ(filePart.value(QStringLiteral("sha1")).toString(), sha1(zipBytes));
}

TEST_F(AccountProtocol, UploadOfAMissingFileSendsNothing)
{
    ktest::AccountServiceSim sim;
    ASSERT_TRUE(sim.isRunning());
    EXPECT_FALSE(ServerAPI::instance()->uploadLog(QStringLiteral("hw"), ktest::testHome() + QStringLiteral("/none.zip")));
    EXPECT_TRUE(sim.requests().isEmpty());
}

TEST_F(AccountProtocol, LoginRefusalClearsTheRecord)
{
    ktest::AccountServiceSim sim;
    ASSERT_TRUE(sim.isRunning());
    AccountState state;
    state.login = L"old";
    state.authToken = "old-token";
    state.machineRecordId = "1";
    state.uok = "old-uok";
    EXPECT_FALSE(ServerAPI::instance()->login(QStringLiteral("demo@belmo.example"), QStringLiteral("wrong"), "hw", &state));
    EXPECT_TRUE(state.login.empty());
    EXPECT_TRUE(state.authToken.empty());
    EXPECT_TRUE(state.machineRecordId.empty());
    EXPECT_TRUE(state.uok.empty());
}

// How answers are read: keys, defaults, wrapped lists.
struct ReadCase {
    const char* name;
    const char* path;   // below /api/kyb/v2/
    const char* route;  // the route entry, as JSON
    std::function<void(ServerAPI*, const QString& token)> check;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

// The reply-format failure: a std::exception that is not a std::ios_base::failure, with its own text.
template <typename Record>
void expectUnreadableList(bool (ServerAPI::*request)(QString, std::vector<Record>*), ServerAPI* api,
                          const QString& token)
{
    std::vector<Record> list;
    try {
        (api->*request)(token, &list);
        ADD_FAILURE() << "no failure";
    } catch (const std::ios_base::failure& failure) {
        ADD_FAILURE() << "taken as a network failure: " << failure.what();
    } catch (const std::exception& failure) {
        EXPECT_STREQ(failure.what(), "Wrong server response data format");
    }
    EXPECT_TRUE(list.empty());
}

class ReplyReading : public AccountProtocol, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReplyReading, ReadsKeysWithTheirDefaults)
{
    const ReadCase& c = GetParam();
    ktest::AccountServiceSim sim(QJsonObject{
        {QStringLiteral("routes"),
         QJsonObject{{QStringLiteral("/api/kyb/v2/") + QString::fromLatin1(c.path), parse(c.route)}}}});
    ASSERT_TRUE(sim.isRunning());
    c.check(ServerAPI::instance(), QStringLiteral("demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e"));
}

const ReadCase readCases[] = {
    {"scanners_empty", "scanners.json", R"({"json": []})",
     [](ServerAPI* api, const QString& t) {
         std::vector<AccountScanner> list(1);
         EXPECT_TRUE(api->scanners(t, &list));
         EXPECT_EQ(list.size(), 1u);  // appends
     }},
    {"scanners_defaults", "scanners.json",
     R"({"json": [{"id": 7}, {"serial_number": "S", "calibration_revision": "new", "has_texture_camera": true,
                   "upgrade_url": "null"}]})",
     [](ServerAPI* api, const QString& t) {
         std::vector<AccountScanner> list;
         ASSERT_TRUE(api->scanners(t, &list));
         ASSERT_EQ(list.size(), 2u);
         EXPECT_EQ(list[0].id, "7");
         EXPECT_EQ(list[0].serialNumber, "");
         EXPECT_EQ(list[0].calibrationRevision, -1);
         EXPECT_FALSE(list[0].hasTextureCamera);
         EXPECT_EQ(list[1].calibrationRevision, -1);
         EXPECT_TRUE(list[1].hasTextureCamera);
         EXPECT_EQ(list[1].upgradeUrl, "");
     }},
    {"scanners_not_json", "scanners.json", R"({"body": "<html>maintenance</html>"})",
     [](ServerAPI* api, const QString& t) {
         std::vector<AccountScanner> list;
         EXPECT_FALSE(api->scanners(t, &list));
         EXPECT_TRUE(list.empty());
     }},
    // Valid JSON that is not an array is an unreadable reply, not a refusal that would ask for a new sign-in.
    {"scanners_object_not_list", "scanners.json", R"({"json": {"id": "1", "serial_number": "S"}})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<AccountScanner>(&ServerAPI::scanners, api, t); }},
    {"scanners_null", "scanners.json", R"({"json": null})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<AccountScanner>(&ServerAPI::scanners, api, t); }},
    // An object, also one that is empty or whose keys are empty, and a text are not arrays either.
    {"scanners_empty_object", "scanners.json", R"({"json": {}})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<AccountScanner>(&ServerAPI::scanners, api, t); }},
    {"scanners_empty_text", "scanners.json", R"({"json": ""})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<AccountScanner>(&ServerAPI::scanners, api, t); }},
    {"scanners_object_with_empty_keys", "scanners.json", R"({"json": {"": {"id": "7", "serial_number": "S-1"}}})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<AccountScanner>(&ServerAPI::scanners, api, t); }},
    {"applications_empty_object", "applications.json", R"({"json": {}})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    {"applications_empty_text", "applications.json", R"({"json": ""})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    {"applications_object_with_empty_keys", "applications.json",
     R"({"json": {"": {"id": "1", "version": {}, "product": {}}}})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    // An array after white space is read; an array followed by more is not one JSON value.
    {"scanners_array_after_blanks", "scanners.json", R"({"body": " \r\n\t[{\"id\": \"7\"}]"})",
     [](ServerAPI* api, const QString& t) {
         std::vector<AccountScanner> list;
         ASSERT_TRUE(api->scanners(t, &list));
         ASSERT_EQ(list.size(), 1u);
         EXPECT_EQ(list[0].id, "7");
     }},
    // A UTF-8 byte-order mark before a list is skipped, as before an object; what follows it decides.
    {"scanners_after_byte_order_mark", "scanners.json", R"({"body": "\ufeff[{\"id\": \"7\"}]"})",
     [](ServerAPI* api, const QString& t) {
         std::vector<AccountScanner> list;
         ASSERT_TRUE(api->scanners(t, &list));
         ASSERT_EQ(list.size(), 1u);
         EXPECT_EQ(list[0].id, "7");
     }},
    {"applications_after_byte_order_mark", "applications.json",
     R"({"body": "\ufeff [{\"id\": \"1\", \"version\": {\"name\": \"2.0\"}, \"product\": {\"name\": \"B\"}}]"})",
     [](ServerAPI* api, const QString& t) {
         std::vector<ApplicationInfo> list;
         ASSERT_TRUE(api->applications(t, &list));
         ASSERT_EQ(list.size(), 1u);
         EXPECT_EQ(list[0].productName, "B");
     }},
    {"applications_object_after_byte_order_mark", "applications.json", R"({"body": "\ufeff{}"})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    {"scanners_array_and_more", "scanners.json", R"({"body": "[{\"id\": \"7\"}], \"\": [{\"id\": \"8\"}]"})",
     [](ServerAPI* api, const QString& t) {
         std::vector<AccountScanner> list;
         EXPECT_FALSE(api->scanners(t, &list));
         EXPECT_TRUE(list.empty());
     }},
    {"applications_object_not_list", "applications.json", R"({"json": {"id": "1", "version": {}, "product": {}}})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    {"applications_null", "applications.json", R"({"json": null})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    {"applications_number", "applications.json", R"({"json": 7})",
     [](ServerAPI* api, const QString& t) { expectUnreadableList<ApplicationInfo>(&ServerAPI::applications, api, t); }},
    {"applications_fields", "applications.json",
     R"({"json": [{"id": "1", "version": {"name": "  2.0 ", "download_link32": "L32", "download_link64": "L64"},
                   "product": {"name": " Studio\t", "upgrade_url": null, "product_type": "x"}},
                  {"id": "2", "version": {"name": "1"}, "product": {"name": "B", "product_type": 2}}]})",
     [](ServerAPI* api, const QString& t) {
         std::vector<ApplicationInfo> list;
         ASSERT_TRUE(api->applications(t, &list));
         ASSERT_EQ(list.size(), 2u);
         EXPECT_EQ(list[0].versionName, "2.0");
         EXPECT_EQ(list[0].productName, "Studio");
         EXPECT_EQ(list[0].downloadLink, offeredLink("L32", "L64"));
         EXPECT_EQ(list[0].upgradeUrl, "null");
         EXPECT_EQ(list[0].productType, 0);
         EXPECT_EQ(list[1].downloadLink, "");  // the chosen link is missing
         EXPECT_EQ(list[1].upgradeUrl, "");
         EXPECT_EQ(list[1].productType, 2);
     }},
    {"applications_element_without_product", "applications.json",
     R"({"json": [{"id": "1", "version": {}, "product": {}}, {"id": "2", "version": {}},
                  {"id": "3", "version": {}, "product": {}}]})",
     [](ServerAPI* api, const QString& t) {
         std::vector<ApplicationInfo> list;
         EXPECT_FALSE(api->applications(t, &list));
         ASSERT_EQ(list.size(), 1u);  // the elements before it stay
         EXPECT_EQ(list[0].id, "1");
     }},
    {"applications_element_without_version", "applications.json", R"({"json": [{"id": "1", "product": {}}]})",
     [](ServerAPI* api, const QString& t) {
         std::vector<ApplicationInfo> list;
         EXPECT_FALSE(api->applications(t, &list));
         EXPECT_TRUE(list.empty());
     }},
    {"update_trimmed", "kybs/update_required.json",
     R"({"json": {"version": " 2.0.1\n", "download_link32": "L32", "download_link64": "L64"}})",
     [](ServerAPI* api, const QString& t) {
         ApplicationInfo offer;
         ASSERT_TRUE(api->updateRequired(t, &offer, QStringLiteral("1.0")));
         EXPECT_EQ(offer.versionName, "2.0.1");
         EXPECT_EQ(offer.downloadLink, offeredLink("L32", "L64"));
     }},
    {"update_422_without_message", "kybs/update_required.json", R"({"status": 422, "json": {}})",
     [](ServerAPI* api, const QString& t) {
         ApplicationInfo offer;
         EXPECT_FALSE(api->updateRequired(t, &offer, QStringLiteral("1.0")));
     }},
    {"serial_422", "scanners/serial_number.json", R"({"status": 422, "json": {"message": "Scanner not found"}})",
     [](ServerAPI* api, const QString& t) {
         HardwareItem item;
         item.serial = "old";
         EXPECT_FALSE(api->serialNumber(t, "1", &item));
         EXPECT_EQ(item.serial, "");
         EXPECT_EQ(item.belongsTo, 4);
         EXPECT_EQ(item.calibrationState, -1);
     }},
    {"serial_belongs_to_not_integer", "scanners/serial_number.json",
     R"({"json": {"serial_number": "S1", "belongs_to": "1.5"}})",
     [](ServerAPI* api, const QString& t) {
         HardwareItem item;
         item.serial = "old";
         item.belongsTo = 9;
         EXPECT_FALSE(api->serialNumber(t, "1", &item));
         EXPECT_EQ(item.serial, "old");
         EXPECT_EQ(item.belongsTo, 9);
     }},
    {"revision_text", "scanners/calibration_revision.json", R"({"json": {"calibration_revision": "r5"}})",
     [](ServerAPI* api, const QString& t) { EXPECT_EQ(api->calibrationRevision(t, QStringLiteral("S")), -1); }},
};

INSTANTIATE_TEST_SUITE_P(Replies, ReplyReading, ::testing::ValuesIn(readCases),
                         [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

}  // namespace
