#include "qtarg/QtArgCmdLine.h"

#include "qtarg/QtArgExceptions.h"
#include "qtarg/QtArgIface.h"

namespace {

QStringList decodeArguments(int argc, char** argv)
{
    QStringList list;
    for (int i = 1; argv && i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

}  // namespace

QtArgCmdLine::QtArgCmdLine(int argc, char** argv) : m_cursor(decodeArguments(argc, argv)) {}

QList<QtArgIface*> QtArgCmdLine::argumentList() const
{
    return m_arguments;
}

QChar QtArgCmdLine::delimiter() const
{
    return m_delimiter;
}

void QtArgCmdLine::setDelimiter(QChar delimiter)
{
    m_delimiter = delimiter;
}

void QtArgCmdLine::addArg(QtArgIface& arg)
{
    if (m_arguments.contains(&arg))
        return;
    m_arguments.append(&arg);
    checkNamesAndFlags();
}

void QtArgCmdLine::addArg(QtArgIface* arg)
{
    if (arg)
        addArg(*arg);
}

bool QtArgCmdLine::isName(const QString& text) const
{
    return text.startsWith(QString(2, m_delimiter)) || text.startsWith(m_alternativePrefix);
}

bool QtArgCmdLine::isFlag(const QString& text) const
{
    return !isName(text) && text.startsWith(m_delimiter);
}

QPair<QString, QString> QtArgCmdLine::splitNameAndValue(const QString& element)
{
    const int equals = element.indexOf(QLatin1Char('='));
    if (equals < 0)
        return {element, QString()};
    // mid() of the end gives an empty, not a null, value.
    QString value = element.mid(equals + 1);
    if (value.isNull())
        value = QLatin1String("");
    return {element.left(equals), value};
}

QString QtArgCmdLine::stripDelimiters(const QString& namePart) const
{
    QString text = namePart;
    if (text.startsWith(m_alternativePrefix))
        text.remove(0, 1);
    for (int i = 0; i < 2 && text.startsWith(m_delimiter); ++i)
        text.remove(0, 1);
    return text;
}

void QtArgCmdLine::checkNamesAndFlags() const
{
    QList<QChar> flagsInUse;
    QStringList namesInUse;
    for (const QtArgIface* arg : m_arguments)
        arg->checkNamesAndFlags(m_delimiter, flagsInUse, namesInUse);
}

QtArgIface* QtArgCmdLine::findArgumentByName(const QString& text) const
{
    const auto unknown = [&] {
        return QtArgUnknownArgumentEx(QStringLiteral("Unknown argument: %1%1%2").arg(QString(m_delimiter), text));
    };
    QtArgIface* candidate = nullptr;
    for (QtArgIface* arg : m_arguments) {
        QtArgIface* answer = arg->findByName(text);
        if (answer && answer->names().contains(text))
            return answer;
        if (!candidate)
            candidate = answer;
        else if (answer)
            throw unknown();
    }
    if (!candidate)
        throw unknown();
    return candidate;
}

QtArgIface* QtArgCmdLine::findArgumentByFlag(const QChar& flag) const
{
    for (QtArgIface* arg : m_arguments) {
        if (QtArgIface* answer = arg->findByFlag(flag))
            return answer;
    }
    throw QtArgUnknownArgumentEx(QStringLiteral("Unknown argument: %1%2").arg(QString(m_delimiter), QString(flag)));
}

void QtArgCmdLine::checkArguments() const
{
    for (const QtArgIface* arg : m_arguments)
        arg->check();
}

void QtArgCmdLine::parse()
{
    checkNamesAndFlags();
    QString lastName;  // the most recent argument as the user wrote it
    while (!m_cursor.atEnd()) {
        const QString element = m_cursor.next();
        const QPair<QString, QString> split = splitNameAndValue(element);
        const QString& namePart = split.first;
        const QString stripped = stripDelimiters(namePart);
        if (!split.second.isNull())
            m_cursor.insert(split.second);

        if (isName(element)) {
            QtArgIface* arg = findArgumentByName(stripped);
            lastName = namePart;
            arg->process(m_cursor);
            arg->notifyObserver(m_cursor);
            arg->checkConstraint();
        } else if (!isFlag(element)) {
            throw QtArgUnexpectedOptionEx(
                QStringLiteral("Unexpected option: %1. Argument \"%2\" doesn't expect any values.")
                    .arg(namePart, lastName));
        } else {
            processFlagCluster(stripped, lastName);
        }
    }
    checkArguments();
}

void QtArgCmdLine::processFlagCluster(const QString& cluster, QString& lastName)
{
    for (int i = 0; i < cluster.size(); ++i) {
        QtArgIface* arg = findArgumentByFlag(cluster.at(i));
        lastName = QString(m_delimiter) + cluster.at(i);
        bool tookRest = false;
        if (i == cluster.size() - 1) {
            arg->process(m_cursor);
        } else {
            // A flag inside the cluster that takes a value takes the rest of the cluster.
            QtArgCmdLineCursor rest(QStringList(cluster.mid(i + 1)));
            tookRest = arg->process(rest);
        }
        arg->notifyObserver(m_cursor);
        arg->checkConstraint();
        if (tookRest)
            return;
    }
}
