#include "account/ReplyReaders.h"

#include <boost/algorithm/string/trim.hpp>
#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <string>

#include "account/ReplyJson.h"

namespace pt = boost::property_tree;

namespace {

std::string trimmed(const std::string& text)
{
    return boost::algorithm::trim_copy(text);
}

const char* downloadLinkKey(bool wow64)
{
    return wow64 ? "download_link64" : "download_link32";
}

}  // namespace

void readSignInReply(const QByteArray& body, AccountState* out, QString* email)
{
    pt::ptree tree;
    try {
        tree = parseReplyObject(body);
    } catch (const pt::ptree_error&) {
        throw std::runtime_error("Wrong server response data");
    }
    try {
        out->authToken = tree.get<std::string>("auth_token_crypted");
        out->machineRecordId = tree.get<std::string>("hwfp_id");
        out->uok = tree.get<std::string>("uok");
        if (email)
            *email = QString::fromStdString(tree.get<std::string>("email"));
    } catch (const pt::ptree_error&) {
        throw std::runtime_error("Wrong server response data format");
    }
}

void readScannerList(const QByteArray& body, std::vector<AccountScanner>* list)
{
    const pt::ptree elements = parseReplyList(body);
    for (const auto& [key, element] : elements) {
        AccountScanner scanner;
        scanner.id = element.get<std::string>("id", "");
        scanner.serialNumber = element.get<std::string>("serial_number", "");
        scanner.calibrationRevision = element.get<int>("calibration_revision", -1);
        scanner.hasTextureCamera = element.get<bool>("has_texture_camera", false);
        scanner.upgradeUrl = element.get<std::string>("upgrade_url", "");
        if (scanner.upgradeUrl == "null")
            scanner.upgradeUrl.clear();
        list->push_back(scanner);
    }
}

void readApplicationList(const QByteArray& body, bool wow64, std::vector<ApplicationInfo>* list)
{
    const pt::ptree elements = parseReplyList(body);
    for (const auto& [key, element] : elements) {
        ApplicationInfo application;
        application.id = element.get<std::string>("id", "");
        const pt::ptree& version = element.get_child("version");
        application.downloadLink = version.get<std::string>(downloadLinkKey(wow64), "");
        application.versionName = trimmed(version.get<std::string>("name", ""));
        const pt::ptree& product = element.get_child("product");
        application.productName = trimmed(product.get<std::string>("name", ""));
        application.upgradeUrl = product.get<std::string>("upgrade_url", "");
        application.productType = product.get<int>("product_type", 0);
        list->push_back(application);
    }
}

void readUpdateOffer(const QByteArray& body, bool wow64, ApplicationInfo* out)
{
    const pt::ptree tree = parseReplyObject(body);
    out->downloadLink = tree.get<std::string>(downloadLinkKey(wow64), "");
    out->versionName = trimmed(tree.get<std::string>("version", ""));
}

void readRefusalMessage(const QByteArray& body)
{
    parseReplyObject(body).get<std::string>("message");
}

void readSerialNumberReply(const QByteArray& body, HardwareItem* out)
{
    const pt::ptree tree = parseReplyObject(body);
    const std::string serial = tree.get<std::string>("serial_number");
    const int belongsTo = tree.get<int>("belongs_to");  // not an integer: ptree_bad_data
    out->serial = serial;
    out->belongsTo = belongsTo;
    out->calibrationState = 0;
}

int readCalibrationRevision(const QByteArray& body)
{
    return parseReplyObject(body).get<int>("calibration_revision", -1);
}
