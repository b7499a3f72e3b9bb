#pragma once
// The program's application object, one instance per user: the first process takes a lock file in the per-user
// data folder and holds it until it ends; every later one finds the lock taken and reports isRunning(). A lock
// left behind by a process that died is taken over.

#include <QApplication>
#include <QString>

#include <memory>

class QLockFile;

class QtSingleApplication : public QApplication {
    Q_OBJECT
public:
    // The application id defaults to one derived from the executable's path.
    QtSingleApplication(int& argc, char** argv, bool guiEnabled = true);
    QtSingleApplication(const QString& id, int& argc, char** argv);
    ~QtSingleApplication() override;

    // True when another process of the same id holds the lock.
    bool isRunning() const { return running_; }
    QString id() const { return id_; }
    QString lockFilePath() const;

    // The id the parameterless constructor uses.
    static QString defaultId();

private:
    void takeLock();

    QString id_;
    std::unique_ptr<QLockFile> lock_;
    bool running_ = false;
};
