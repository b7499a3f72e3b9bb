#pragma once
// Runs scripts/demo as a user types it, in a scratch folder that holds its throw-away folders (TMPDIR) and
// stand-ins for the tools it must not call.

#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

namespace ktest {

struct DemoResult {
    bool ended = false;
    bool normalExit = false;
    int exitCode = -1;
    QString out;
    QString err;
    bool printed(const QString& text) const { return out.contains(text) || err.contains(text); }
    std::string both() const { return ("stdout:\n" + out + "stderr:\n" + err).toStdString(); }
};

class DemoRun {
public:
    DemoRun();
    ~DemoRun() { leftProcesses(); }   // a run that did not end leaves nothing running either
    bool isValid() const { return valid_; }
    QString path(const QString& relative) const { return scratch_.filePath(relative); }

    // Puts a stand-in for program first on the demo's PATH: it records its call in calls.txt and fails, or when
    // recorded is false only fails.
    bool failingStandIn(const QString& program, bool recorded = true) const;

    // An environment without a display, with the stand-ins first on PATH, the throw-away folders in tmp/ and
    // KESTRUNE_DEMO_BUILD naming this tree; then env on top of it.
    QProcessEnvironment environment(const QMap<QString, QString>& env) const;

    // Runs script (scripts/demo of the source tree when empty) with args until it ends.
    DemoResult run(const QStringList& args, const QProcessEnvironment& env, const QString& script = QString()) const;

    // The throw-away folders the demo left in tmp/.
    QStringList leftFolders() const;
    // Processes that run with this scratch folder in their environment ("pid command line"); with kill set they
    // are then killed.
    QStringList leftProcesses(bool kill = true) const;
    // Whether the demo recorded a call of a stand-in.
    bool calledStandIns() const;

private:
    QTemporaryDir scratch_;
    bool valid_ = false;
};

}  // namespace ktest
