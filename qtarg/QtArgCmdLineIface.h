#pragma once
#include <QChar>
#include <QList>
#include <QString>

class QtArgIface;

// A command-line parser over registered arguments.
class QtArgCmdLineIface {
public:
    virtual ~QtArgCmdLineIface() = default;

    virtual QList<QtArgIface*> argumentList() const = 0;
    virtual QChar delimiter() const = 0;
    virtual void setDelimiter(QChar delimiter) = 0;
    virtual void addArg(QtArgIface& arg) = 0;
    virtual void addArg(QtArgIface* arg) = 0;
    virtual void parse() = 0;
    virtual bool isFlag(const QString& text) const = 0;
    virtual bool isName(const QString& text) const = 0;
};
