#include "qtarg/QtArgUsage.h"

QString markUniquePrefix(const QString& name, const QStringList& allNames)
{
    int n = 1;
    for (;;) {
        const QString prefix = name.left(n);
        int sharing = 0;
        for (const QString& other : allNames) {
            if (other.startsWith(prefix) && ++sharing == 2)
                break;
        }
        if (sharing < 2 || n >= name.size())
            break;
        ++n;
    }
    if (n >= name.size())
        return name;
    return name.left(n) + QLatin1Char('[') + name.mid(n) + QLatin1Char(']');
}
