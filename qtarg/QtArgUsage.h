#pragma once
// Usage texts are templates: every layout decision is left to these tokens, which whoever prints the usage
// replaces.
#include <QString>
#include <QStringList>

namespace QtArgHelpToken {
inline const QString beforeFlags = QStringLiteral("%beforeFlags%");
inline const QString flagMarker = QStringLiteral("%flagMarker%");
inline const QString afterFlags = QStringLiteral("%afterFlags%");
inline const QString beforeNames = QStringLiteral("%beforeNames%");
inline const QString namesSeparator = QStringLiteral("%namesSeparator%");
inline const QString nameMarker = QStringLiteral("%nameMarker%");
inline const QString value = QStringLiteral("%value%");
inline const QString beforeDescription = QStringLiteral("%beforeDescription%");
inline const QString newLine = QStringLiteral("%newLine%");
}  // namespace QtArgHelpToken

// The name with its shortest prefix that no other name of allNames shares bracketed off the rest:
// "prod[uct]" beside "processId". A name that needs all its characters comes back unchanged.
QString markUniquePrefix(const QString& name, const QStringList& allNames);
