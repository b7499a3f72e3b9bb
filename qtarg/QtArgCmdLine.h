#pragma once
#include <QPair>
#include <QStringList>

#include "qtarg/QtArgCmdLineCursor.h"
#include "qtarg/QtArgCmdLineIface.h"

// Reads a command line into the registered arguments. "--name" and "/name" are names (a unique prefix will
// do), "name=value" is the name followed by the value, "-abc" is a cluster of one-character flags. Every
// error is thrown as a QtArgBaseException; the arguments are not owned.
class QtArgCmdLine : public QtArgCmdLineIface {
public:
    static constexpr QChar defaultDelimiter{u'-'};
    static constexpr QChar defaultAlternativePrefix{u'/'};

    // argv[1] to argv[argc - 1], decoded from the local 8-bit encoding.
    QtArgCmdLine(int argc, char** argv);

    QList<QtArgIface*> argumentList() const override;
    QChar delimiter() const override;
    void setDelimiter(QChar delimiter) override;
    // Registers the argument once and checks the names and flags of all registered arguments; throws on a
    // clash or a name or flag that is not allowed (the argument stays registered).
    void addArg(QtArgIface& arg) override;
    void addArg(QtArgIface* arg) override;
    // Reads the whole command line, then checks every argument; throws on the first error.
    void parse() override;
    bool isFlag(const QString& text) const override;
    bool isName(const QString& text) const override;

private:
    static QPair<QString, QString> splitNameAndValue(const QString& element);
    QString stripDelimiters(const QString& namePart) const;
    void checkNamesAndFlags() const;
    QtArgIface* findArgumentByName(const QString& text) const;
    QtArgIface* findArgumentByFlag(const QChar& flag) const;
    void checkArguments() const;
    void processFlagCluster(const QString& cluster, QString& lastName);

    QtArgCmdLineCursor m_cursor;
    QList<QtArgIface*> m_arguments;
    QChar m_delimiter = defaultDelimiter;
    QChar m_alternativePrefix = defaultAlternativePrefix;
};
