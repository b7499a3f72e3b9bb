#include "tests/support/AccountServiceSim.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>

#include "tests/support/TestHome.h"
#include "tests/support/TestProcess.h"

namespace ktest {

namespace {

const QString kScript = QStringLiteral("tools/account-service/account_service.py");
const QString kDemoScript = QStringLiteral("tools/account-service/serve-demo");

// Folder for the simulators of this process: below the test home, or a temporary folder when the test main gave
// the process none.
QString baseDir()
{
    static const QString dir = [] {
        if (!testHome().isEmpty()) {
            const QString d = testHome() + QStringLiteral("/account-service");
            QDir().mkpath(d);
            return d;
        }
        static QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/ktest-account-service-XXXXXX"));
        return temporary.path();
    }();
    return dir;
}

// The certificates, made once per process with the openssl command (through the simulator's make-certs).
QString certDir()
{
    static const QString dir = [] {
        const QString d = baseDir() + QStringLiteral("/certs");
        const ProcessResult made = runProgram(QStringLiteral("python3"),
                                              {sourcePath(kScript), QStringLiteral("make-certs"), d});
        if (!made.ok())
            std::fprintf(stderr, "AccountServiceSim: making certificates failed: %s\n", made.err.constData());
        return d;
    }();
    return dir;
}

bool writeJson(const QString& path, const QJsonObject& object)
{
    QSaveFile file(path);  // replaced whole, so the server never reads half a scenario
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    return file.commit();
}

}  // namespace

QString AccountServiceSim::trustedCaFile()
{
    return certDir() + QStringLiteral("/ca.pem");
}

AccountServiceSim::AccountServiceSim(const QJsonObject& scenario, const Options& options) : options_(options)
{
    static std::atomic<int> counter{0};
    workDir_ = baseDir() + QStringLiteral("/sim-%1").arg(++counter);
    QDir(workDir_).removeRecursively();
    QDir().mkpath(workDir_ + QStringLiteral("/files"));
    writeJson(workDir_ + QStringLiteral("/scenario.json"), scenario);

    QString program = QStringLiteral("python3");
    QStringList args{sourcePath(kScript),
                     QStringLiteral("serve"),
                     QStringLiteral("--port-file"), workDir_ + QStringLiteral("/port"),
                     QStringLiteral("--scenario"), workDir_ + QStringLiteral("/scenario.json"),
                     QStringLiteral("--log"), workDir_ + QStringLiteral("/requests.jsonl"),
                     QStringLiteral("--files-dir"), filesDir(),
                     QStringLiteral("--lifetime"), QString::number(options.lifetimeSeconds),
                     QStringLiteral("--parent-pid"), QString::number(QCoreApplication::applicationPid())};
    if (options.port != 0)
        args << QStringLiteral("--port") << QString::number(options.port);
    if (options.plainHttp)
        args << QStringLiteral("--plain-http");
    else
        args << QStringLiteral("--cert-dir") << certDir();
    if (!options.trustedCa)
        args << QStringLiteral("--untrusted");
    if (options.asDemo) {
        program = QStringLiteral("sh");
        args = QStringList{sourcePath(kDemoScript), workDir_, QString::number(QCoreApplication::applicationPid())};
    }

    process_ = std::make_unique<QProcess>();
    process_->setWorkingDirectory(workDir_);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->start(program, args);
    if (!process_->waitForStarted(10000)) {
        std::fprintf(stderr, "AccountServiceSim: %s did not start\n", qPrintable(program));
        return;
    }

    QFile portFile(workDir_ + QStringLiteral("/port"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        if (portFile.open(QIODevice::ReadOnly)) {
            port_ = static_cast<quint16>(portFile.readAll().trimmed().toUInt());
            portFile.close();
            if (port_ != 0)
                break;
        }
        if (process_->waitForFinished(10))  // also the pause between looks
            break;
    }
    if (port_ == 0) {
        std::fprintf(stderr, "AccountServiceSim: the server gave no port\n");
        stop();
        return;
    }
    setVariable("KESTRUNE_SERVICE_HOST", authority().toUtf8());
    setVariable("KESTRUNE_CA_FILE", QFile::encodeName(options.asDemo ? caFile() : trustedCaFile()));
}

AccountServiceSim::~AccountServiceSim()
{
    stop();
    for (auto it = saved_.crbegin(); it != saved_.crend(); ++it) {
        if (it->wasSet)
            qputenv(it->name.constData(), it->value);
        else
            qunsetenv(it->name.constData());
    }
}

void AccountServiceSim::stop()
{
    if (!process_ || process_->state() == QProcess::NotRunning)
        return;
    process_->terminate();
    if (!process_->waitForFinished(5000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void AccountServiceSim::setVariable(const char* name, const QByteArray& value)
{
    SavedVariable saved;
    saved.name = name;
    saved.wasSet = qEnvironmentVariableIsSet(name);
    saved.value = qgetenv(name);
    saved_.append(saved);
    qputenv(name, value);
}

bool AccountServiceSim::isRunning() const
{
    return port_ != 0 && process_ && process_->state() == QProcess::Running;
}

quint16 AccountServiceSim::port() const
{
    return port_;
}

QString AccountServiceSim::host() const
{
    return QStringLiteral("127.0.0.1");
}

QString AccountServiceSim::authority() const
{
    return host() + QLatin1Char(':') + QString::number(port_);
}

QUrl AccountServiceSim::url(const QString& pathAndQuery) const
{
    const QString scheme = options_.plainHttp ? QStringLiteral("http://") : QStringLiteral("https://");
    return QUrl(scheme + authority() + pathAndQuery);
}

void AccountServiceSim::setScenario(const QJsonObject& scenario)
{
    writeJson(workDir_ + QStringLiteral("/scenario.json"), scenario);
}

QList<QJsonObject> AccountServiceSim::requests() const
{
    QList<QJsonObject> result;
    QFile file(workDir_ + QStringLiteral("/requests.jsonl"));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(logOffset_))
        return result;
    const QByteArray data = file.readAll();
    // Only whole lines: a line is written with its line feed in one go.
    const int end = data.lastIndexOf('\n');
    for (const QByteArray& line : data.left(end + 1).split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            result.append(doc.object());
    }
    return result;
}

QList<QJsonObject> AccountServiceSim::requestsTo(const QString& path) const
{
    QList<QJsonObject> result;
    for (const QJsonObject& r : requests()) {
        if (r.value(QStringLiteral("path")).toString() == path)
            result.append(r);
    }
    return result;
}

void AccountServiceSim::clearLog()
{
    QFile file(workDir_ + QStringLiteral("/requests.jsonl"));
    const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    logOffset_ = data.lastIndexOf('\n') + 1;
}

QString AccountServiceSim::caFile() const
{
    if (options_.asDemo)
        return workDir_ + QStringLiteral("/certs/ca.pem");
    return certDir() + (options_.trustedCa ? QStringLiteral("/ca.pem") : QStringLiteral("/untrusted-ca.pem"));
}

QString AccountServiceSim::filesDir() const
{
    return workDir_ + QStringLiteral("/files");
}

QString AccountServiceSim::workDir() const
{
    return workDir_;
}

}  // namespace ktest
