#include "qtarg/QtArg.h"

#include <QRegularExpression>

#include "qtarg/QtArgCmdLineCursor.h"
#include "qtarg/QtArgExceptions.h"
#include "qtarg/QtArgObserver.h"
#include "qtarg/QtArgValueConstraint.h"

QtArg::QtArg(const QString& name, const QString& description, bool required, bool withValue,
             QtArgObserver* observer, QtArgValueConstraint* constraint)
    : m_description(description),
      m_required(required),
      m_withValue(withValue),
      m_observer(observer),
      m_constraint(constraint)
{
    m_names.append(name);
}

bool QtArg::isRequired() const
{
    return m_required;
}

bool QtArg::isDefined() const
{
    return m_defined;
}

bool QtArg::isWithValue() const
{
    return m_withValue;
}

bool QtArg::isPresent() const
{
    return m_present;
}

const QVariant& QtArg::value() const
{
    return m_value;
}

void QtArg::check() const
{
    if (m_defined)
        return;
    if (!m_present) {
        if (m_required)
            throw QtArgNotDefinedMandatoryArgumentEx(QStringLiteral("Not defined mandatory argument: %1").arg(label()));
        return;
    }
    if (m_withValue)
        throw QtArgNotDefinedOptionForTheArgumentEx(
            QStringLiteral("Not defined value of the argument: %1").arg(label()));
}

void QtArg::checkNamesAndFlags(const QChar& delimiter, QList<QChar>& flagsInUse, QStringList& namesInUse) const
{
    if (flags().isEmpty() && names().isEmpty())
        throw QtArgNotDefinedNorNameNorFlagEx();

    for (const QChar flag : flags()) {
        if (flag == delimiter || !flag.isLetterOrNumber())
            throw QtArgDissallowedFlagOrNameEx(QStringLiteral("Dissallowed flag: \"%1\".").arg(flag));
        if (flagsInUse.contains(flag))
            throw QtArgNameOrFlagAlreadyKnownEx(QStringLiteral("Flag already in use: %1.").arg(flag));
        flagsInUse.append(flag);
    }

    static const QRegularExpression blank(QStringLiteral("\\s"), QRegularExpression::UseUnicodePropertiesOption);
    for (const QString& name : names()) {
        if (name.isEmpty() || name.contains(blank))
            throw QtArgDissallowedFlagOrNameEx(QStringLiteral("Dissallowed name: \"%1\".").arg(name));
        if (namesInUse.contains(name))
            throw QtArgNameOrFlagAlreadyKnownEx(QStringLiteral("Name already in use: %1.").arg(name));
        namesInUse.append(name);
    }
}

QString QtArg::description() const
{
    return m_description;
}

QString QtArg::detailedDescription() const
{
    return m_detailedDescription;
}

QtArgIface* QtArg::findByName(const QString& text)
{
    for (const QString& name : names()) {
        if (name.startsWith(text))
            return this;
    }
    return nullptr;
}

QtArgIface* QtArg::findByFlag(const QChar& flag)
{
    return flags().contains(flag) ? this : nullptr;
}

QList<QtArgIface*> QtArg::argumentList()
{
    return {this};
}

void QtArg::checkConstraint() const
{
    if (m_constraint && m_defined && !m_constraint->check(m_value))
        throw QtArgContraintNotObservedEx(
            QStringLiteral("Constraint for the argument: %1 hasn't observed. Wrong value is: %2")
                .arg(label(), m_value.toString()));
}

bool QtArg::process(QtArgCmdLineCursor& cursor)
{
    if (!m_withValue) {
        setValue(true);
        return false;
    }
    if (cursor.atEnd()) {
        m_present = true;
        return false;
    }
    setValue(cursor.next());
    return true;
}

void QtArg::notifyObserver(QtArgCmdLineCursor& cursor) const
{
    if (m_observer)
        m_observer->notify(cursor);
}

QChar QtArg::firstFlag() const
{
    return flags().isEmpty() ? QChar() : flags().first();
}

void QtArg::setFlag(QChar flag)
{
    m_flags = {flag};
}

void QtArg::setFlags(const QList<QChar>& flags)
{
    m_flags = flags;
}

void QtArg::setValue(const QVariant& value)
{
    m_value = value;
    m_defined = true;
    m_present = true;
}
