#include "qtarg/QtArgIface.h"

#include "qtarg/QtArgUsage.h"

QtArgIface::~QtArgIface() = default;

const QList<QChar>& QtArgIface::flags() const
{
    return m_flags;
}

const QStringList& QtArgIface::names() const
{
    return m_names;
}

QString QtArgIface::label() const
{
    if (!names().isEmpty())
        return names().first();
    if (!flags().isEmpty())
        return QString(flags().first());
    return QString();
}

QString QtArgIface::usageNames(const QStringList& allNames) const
{
    QString text;
    if (!flags().isEmpty()) {
        text += QtArgHelpToken::beforeFlags + QtArgHelpToken::flagMarker;
        for (const QChar flag : flags())
            text += flag;
    }
    if (!names().isEmpty()) {
        text += flags().isEmpty() ? QtArgHelpToken::beforeNames : QtArgHelpToken::afterFlags;
        for (int i = 0; i < names().size(); ++i) {
            if (i > 0)
                text += QtArgHelpToken::namesSeparator;
            text += QtArgHelpToken::nameMarker + markUniquePrefix(names().at(i), allNames);
        }
    }
    if (isWithValue())
        text += QtArgHelpToken::value;
    return text;
}

QString QtArgIface::usageLine(const QStringList& allNames) const
{
    return usageNames(allNames) + QtArgHelpToken::beforeDescription + description() + QtArgHelpToken::newLine;
}
