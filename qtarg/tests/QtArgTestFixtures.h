#pragma once
// Argument sets shared by the parser tests and the parser's fuzz target.
#include <QStringList>
#include <QVariant>

#include <string>
#include <vector>

#include "qtarg/QtArg.h"
#include "qtarg/QtArgCmdLine.h"
#include "qtarg/QtArgObserver.h"
#include "qtarg/QtArgValueConstraint.h"
#include "qtarg/QtXorArg.h"

namespace qtargtest {

// A command line as argc/argv, with a program name in front of the given elements.
class Argv {
public:
    explicit Argv(const std::vector<std::string>& elements);
    int argc() const { return int(m_pointers.size()) - 1; }
    char** argv() { return m_pointers.data(); }

private:
    std::vector<std::string> m_storage;
    std::vector<char*> m_pointers;  // null-terminated, as a real argv
};

// The arguments kyb's main declares, registered in main's order: the group first, then the value arguments.
struct MainArguments {
    QtArg install{QStringLiteral("install"), QStringLiteral("silent installation"), false, false, nullptr, nullptr};
    QtArg update{QStringLiteral("update"), QStringLiteral("silent update calibration"), false, false, nullptr,
                 nullptr};
    QtArg product{QStringLiteral("product"), QStringLiteral("product name"), false, true, nullptr, nullptr};
    QtArg version{QStringLiteral("version"), QStringLiteral("product version"), false, true, nullptr, nullptr};
    QtArg processId{QStringLiteral("processId"), QStringLiteral("process ID"), false, true, nullptr, nullptr};
    QtXorArg mainSwitch{{&install, &update}, QStringLiteral("main switch"), false};

    void registerWith(QtArgCmdLine& cmdLine);
    std::vector<const QtArg*> all() const { return {&install, &update, &product, &version, &processId}; }
};

// Appends the argument's name to a shared log each time the parser notifies it.
class LoggingObserver : public QtArgObserver {
public:
    LoggingObserver(QStringList& log, const QString& name) : m_log(log), m_name(name) {}
    void notify(QtArgCmdLineCursor&) override { m_log.append(m_name); }

private:
    QStringList& m_log;
    QString m_name;
};

// Accepts a non-empty run of ASCII digits.
class DigitsConstraint : public QtArgValueConstraint {
public:
    bool check(const QVariant& value) const override;
};

// Flags and clusters: quiet (-q) is a switch, output (-o) takes any value, level (-l) takes digits only, and
// lev (no flag) is a switch whose name is a prefix of level's, registered after it. Every one logs its
// notifications to `notified`.
struct FlagArguments {
    QStringList notified;
    LoggingObserver quietObserver{notified, QStringLiteral("quiet")};
    LoggingObserver outputObserver{notified, QStringLiteral("output")};
    LoggingObserver levelObserver{notified, QStringLiteral("level")};
    LoggingObserver levObserver{notified, QStringLiteral("lev")};
    DigitsConstraint digits;
    QtArg quiet{QStringLiteral("quiet"), QStringLiteral("say nothing"), false, false, &quietObserver};
    QtArg output{QStringLiteral("output"), QStringLiteral("output file"), false, true, &outputObserver};
    QtArg level{QStringLiteral("level"), QStringLiteral("level number"), false, true, &levelObserver, &digits};
    QtArg lev{QStringLiteral("lev"), QStringLiteral("short switch"), false, false, &levObserver};

    FlagArguments();
    void registerWith(QtArgCmdLine& cmdLine);
    std::vector<const QtArg*> all() const { return {&quiet, &output, &level, &lev}; }
};

}  // namespace qtargtest
