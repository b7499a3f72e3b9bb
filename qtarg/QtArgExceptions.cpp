#include "qtarg/QtArgExceptions.h"

QtArgBaseException::QtArgBaseException(const QString& message)
    : std::runtime_error(message.toLocal8Bit().toStdString()), m_message(message)
{
}

QtArgNotDefinedNorNameNorFlagEx::QtArgNotDefinedNorNameNorFlagEx()
    : QtArgBaseException(QStringLiteral("Not defined nor name nor flag for argument."))
{
}
