#pragma once
// Runs the account-service simulator (tools/account-service/account_service.py) for a test: a real HTTPS server on
// 127.0.0.1 with a scenario file, a JSON-lines request log and a folder of files served at /files/<name>.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <memory>

class QProcess;

namespace ktest {

// AccountServiceSim::Options (outside the class, so that it can be a default argument of the constructor).
struct AccountServiceSimOptions {
    bool plainHttp = false;    // serve plain HTTP on the port (for the SSL-handshake failure)
    bool trustedCa = true;     // false: the server's certificate comes from a CA that KESTRUNE_CA_FILE does not name
    int lifetimeSeconds = 600; // the server stops by itself after this (and when the test process is gone)
    quint16 port = 0;          // the loopback port to listen on; 0: a free one
    // Started as scripts/demo starts it (tools/account-service/serve-demo): no scenario, certificates of its own,
    // the demo's lifetime; the other options and setScenario do not apply.
    bool asDemo = false;
};

class AccountServiceSim {
public:
    using Options = AccountServiceSimOptions;

    // Starts the server and waits for its port; sets KESTRUNE_SERVICE_HOST and KESTRUNE_CA_FILE while it lives.
    explicit AccountServiceSim(const QJsonObject& scenario = QJsonObject(), const Options& options = Options());
    ~AccountServiceSim();  // stops the server; restores the environment variables it set
    AccountServiceSim(const AccountServiceSim&) = delete;
    AccountServiceSim& operator=(const AccountServiceSim&) = delete;

    bool isRunning() const;  // started and its port is known
    quint16 port() const;
    QString host() const;       // "127.0.0.1"
    QString authority() const;  // "127.0.0.1:<port>"
    QUrl url(const QString& pathAndQuery) const;  // https://127.0.0.1:<port><pathAndQuery> (http:// when plainHttp)

    void setScenario(const QJsonObject& scenario);  // used from the next request on; restarts successive responses
    QList<QJsonObject> requests() const;            // the request log so far, oldest first
    QList<QJsonObject> requestsTo(const QString& path) const;
    void clearLog();

    QString caFile() const;    // PEM of the CA that signed the server certificate
    QString filesDir() const;  // files placed here are served at /files/<name>
    QString workDir() const;   // the server's folder: scenario, log, port file, uploads/ (saved upload parts)

    // The trusted CA of this test process (what KESTRUNE_CA_FILE names), made on first use.
    static QString trustedCaFile();

private:
    struct SavedVariable {
        QByteArray name;
        bool wasSet = false;
        QByteArray value;
    };
    void setVariable(const char* name, const QByteArray& value);
    void stop();

    Options options_;
    QString workDir_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    qint64 logOffset_ = 0;
    QList<SavedVariable> saved_;
};

}  // namespace ktest
