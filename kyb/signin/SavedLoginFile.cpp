#include "kyb/signin/SavedLoginFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSaveFile>

namespace {
// A genuine file holds four short lines; anything past this is not read.
constexpr qint64 maxFileSize = 1 << 20;

QByteArray withoutLineBreaks(QByteArray value)
{
    value.replace('\r', QByteArray());
    value.replace('\n', QByteArray());
    return value;
}

QByteArray withoutWhiteSpace(const std::string& value)
{
    QByteArray out;
    out.reserve(static_cast<int>(value.size()));
    for (char c : value) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f')
            out.append(c);
    }
    return out;
}

// The file as written holds four lines. Content with fewer line breaks is read the way earlier versions read the
// file: as whitespace-separated words (on one line, say); both readings agree on any file without blanks in a field.
QList<QByteArray> fieldsOf(const QByteArray& content)
{
    if (content.count('\n') < 3)
        return content.simplified().split(' ');
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();  // also drops the CR of CR LF line breaks
    return lines;
}
}  // namespace

SavedLoginFile::SavedLoginFile(const QString& path) : path_(path) {}

bool SavedLoginFile::read(SavedLogin* out) const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.read(maxFileSize);
    file.close();

    QList<QByteArray> fields = fieldsOf(content);
    while (fields.size() < 4)
        fields.append(QByteArray());
    out->login = QString::fromUtf8(fields[0]);
    out->machineRecordId = fields[1].toStdString();
    out->uok = fields[2].toStdString();
    out->authToken = fields[3].toStdString();
    return true;
}

bool SavedLoginFile::write(const SavedLogin& record) const
{
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Before any byte is written: the temporary file becomes the saved file on commit.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    QByteArray content = withoutLineBreaks(record.login.toUtf8());
    content += '\n';
    content += withoutLineBreaks(QByteArray::fromStdString(record.machineRecordId));
    content += '\n';
    content += withoutWhiteSpace(record.uok);
    content += '\n';
    content += withoutWhiteSpace(record.authToken);
    if (file.write(content) != content.size())
        return false;
    return file.commit();
}

bool SavedLoginFile::remove() const
{
    QFile file(path_);
    return !file.exists() || file.remove();
}
