#pragma once
#include <QVariant>

#include "qtarg/QtArgIface.h"

class QtArgObserver;
class QtArgValueConstraint;

// One argument: long names, one-character flags and, with withValue, a value taken from the command line.
// Observer and constraint are not owned.
class QtArg : public QtArgIface {
public:
    QtArg(const QString& name, const QString& description, bool required = false, bool withValue = false,
          QtArgObserver* observer = nullptr, QtArgValueConstraint* constraint = nullptr);

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
    bool process(QtArgCmdLineCursor& cursor) override;
    void notifyObserver(QtArgCmdLineCursor& cursor) const override;

    // The first flag, or a null QChar.
    virtual QChar firstFlag() const;
    virtual void setFlag(QChar flag);
    virtual void setFlags(const QList<QChar>& flags);
    // Assigns the value and marks the argument as defined and present.
    virtual void setValue(const QVariant& value);

    // Given on the command line, with or without its value.
    bool isPresent() const;
    // Invalid until a value was assigned; a switch holds the boolean true.
    const QVariant& value() const;

private:
    QString m_description;
    QString m_detailedDescription;
    bool m_required;
    bool m_withValue;
    bool m_defined = false;
    bool m_present = false;
    QVariant m_value;
    QtArgObserver* m_observer;
    QtArgValueConstraint* m_constraint;
};
