#pragma once
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

class QtArgCmdLineCursor;

// One command-line argument as the parser sees it: a single argument or a group of them. The parser
// registers, finds, feeds and checks arguments only through this interface.
class QtArgIface {
public:
    QtArgIface() = default;
    QtArgIface(const QtArgIface&) = delete;
    QtArgIface& operator=(const QtArgIface&) = delete;
    virtual ~QtArgIface();

    virtual bool isRequired() const = 0;
    virtual bool isDefined() const = 0;
    virtual bool isWithValue() const = 0;
    // Run after the whole command line was read; throws when a mandatory argument or a value is missing.
    virtual void check() const = 0;
    // Throws when a flag or name is not allowed or already in one of the lists; appends its own to them.
    virtual void checkNamesAndFlags(const QChar& delimiter, QList<QChar>& flagsInUse,
                                    QStringList& namesInUse) const = 0;
    virtual const QList<QChar>& flags() const;
    virtual const QStringList& names() const;
    virtual QString description() const = 0;
    virtual QString detailedDescription() const = 0;
    // The argument one of whose names starts with text (an equal name counts), or null.
    virtual QtArgIface* findByName(const QString& text) = 0;
    virtual QtArgIface* findByFlag(const QChar& flag) = 0;
    virtual QList<QtArgIface*> argumentList() = 0;
    virtual void checkConstraint() const = 0;
    // The argument's flags, names and value as a template of QtArgHelpToken tokens; allNames are all names
    // known to the parser, against which each name's unique prefix is marked.
    virtual QString usageNames(const QStringList& allNames) const;
    virtual QString usageLine(const QStringList& allNames) const;
    // Takes what the argument needs from the cursor; true when it took an element as its value.
    virtual bool process(QtArgCmdLineCursor& cursor) = 0;
    virtual void notifyObserver(QtArgCmdLineCursor& cursor) const = 0;

    // How messages name the argument: its first name, else its first flag, else nothing.
    QString label() const;

protected:
    QList<QChar> m_flags;
    QStringList m_names;
};
