#pragma once
#include "qtarg/QtArgIface.h"

class QtArg;

// A group of arguments of which at most one may be given. Members are not owned; the group itself has no
// flags and no names, it answers lookups with its members.
class QtXorArg : public QtArgIface {
public:
    // Null entries and repeated entries are skipped; a required member throws.
    QtXorArg(const QList<QtArg*>& members, const QString& name, bool required = false);

    bool isRequired() const override;
    bool isDefined() const override;
    bool isWithValue() const override;
    void check() const override;
    void checkNamesAndFlags(const QChar& delimiter, QList<QChar>& flagsInUse,
                            QStringList& namesInUse) const override;
    QString description() const override;
    QString detailedDescription() const override;
    QtArgIface* findByName(const QString& text) override;
    QtArgIface* findByFlag(const QChar& flag) override;
    QList<QtArgIface*> argumentList() override;
    void checkConstraint() const override;
    QString usageNames(const QStringList& allNames) const override;
    QString usageLine(const QStringList& allNames) const override;
    bool process(QtArgCmdLineCursor& cursor) override;
    void notifyObserver(QtArgCmdLineCursor& cursor) const override;

    const QString& name() const { return m_name; }

private:
    QList<QtArgIface*> m_members;
    bool m_required;
    QString m_name;
};
