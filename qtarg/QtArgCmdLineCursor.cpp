#include "qtarg/QtArgCmdLineCursor.h"

QtArgCmdLineCursor::QtArgCmdLineCursor(const QStringList& list) : m_list(list) {}

QString QtArgCmdLineCursor::next()
{
    if (atEnd())
        return QString();
    return m_list.at(m_position++);
}

bool QtArgCmdLineCursor::atEnd() const
{
    return m_position >= m_list.size();
}

void QtArgCmdLineCursor::insert(const QString& element)
{
    m_list.insert(m_position, element);
}
