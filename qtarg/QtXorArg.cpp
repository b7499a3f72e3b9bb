#include "qtarg/QtXorArg.h"

#include "qtarg/QtArg.h"
#include "qtarg/QtArgExceptions.h"

QtXorArg::QtXorArg(const QList<QtArg*>& members, const QString& name, bool required)
    : m_required(required), m_name(name)
{
    for (QtArg* member : members) {
        if (!member || m_members.contains(member))
            continue;
        if (member->isRequired())
            throw QtArgRequiredArgumentUnderXORMaskEx(
                QStringLiteral("A try to add required argument under the XOR mask."));
        m_members.append(member);
    }
}

bool QtXorArg::isRequired() const
{
    return m_required;
}

bool QtXorArg::isDefined() const
{
    for (const QtArgIface* member : m_members) {
        if (member->isDefined())
            return true;
    }
    return false;
}

bool QtXorArg::isWithValue() const
{
    return false;
}

void QtXorArg::check() const
{
    if (m_required && !isDefined())
        throw QtArgNotDefinedMandatoryArgumentEx(QStringLiteral("Not defined mandatory argument: %1").arg(m_name));

    bool recorded = false;
    QString firstLabel;
    for (const QtArgIface* member : m_members) {
        member->check();
        if (!member->isDefined())
            continue;
        if (recorded)
            throw QtArgXORMaskNotObservedEx(
                QStringLiteral("Defined more than one argument under XOR mask. First defined argument: %1. "
                               "Second defined argument: %2.")
                    .arg(firstLabel, member->label()));
        recorded = true;
        firstLabel = member->label();
    }
}

void QtXorArg::checkNamesAndFlags(const QChar& delimiter, QList<QChar>& flagsInUse, QStringList& namesInUse) const
{
    for (const QtArgIface* member : m_members)
        member->checkNamesAndFlags(delimiter, flagsInUse, namesInUse);
}

QString QtXorArg::description() const
{
    return QString();
}

QString QtXorArg::detailedDescription() const
{
    return QString();
}

QtArgIface* QtXorArg::findByName(const QString& text)
{
    for (QtArgIface* member : m_members) {
        if (QtArgIface* found = member->findByName(text))
            return found;
    }
    return nullptr;
}

QtArgIface* QtXorArg::findByFlag(const QChar& flag)
{
    for (QtArgIface* member : m_members) {
        if (QtArgIface* found = member->findByFlag(flag))
            return found;
    }
    return nullptr;
}

QList<QtArgIface*> QtXorArg::argumentList()
{
    return m_members;
}

void QtXorArg::checkConstraint() const
{
    if (!isDefined())
        return;
    for (const QtArgIface* member : m_members)
        member->checkConstraint();
}

QString QtXorArg::usageNames(const QStringList& allNames) const
{
    QStringList fragments;
    for (const QtArgIface* member : m_members)
        fragments.append(member->usageNames(allNames));
    return fragments.join(QStringLiteral(" | "));
}

QString QtXorArg::usageLine(const QStringList& allNames) const
{
    QString text;
    for (const QtArgIface* member : m_members)
        text += member->usageLine(allNames);
    return text;
}

bool QtXorArg::process(QtArgCmdLineCursor&)
{
    return false;
}

void QtXorArg::notifyObserver(QtArgCmdLineCursor&) const
{
}
