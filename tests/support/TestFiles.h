#pragma once
// Whole-file reads and writes for tests, and what a file's entry itself says.

#include <QByteArray>
#include <QString>

namespace ktest {

// The bytes of the file at path, or "<unreadable>" when it cannot be opened, so a missing file never reads as an
// empty one.
QByteArray readFile(const QString& path);

// Writes content as the whole file at path, making its folder first; a file that cannot be written fails the test.
void writeFile(const QString& path, const QByteArray& content);

// The text of the symbolic link at path, or "<no link>" when path is none.
QByteArray linkText(const QString& path);

// The permission bits (07777) of path itself, a link not followed; a missing path fails the test.
unsigned fileMode(const QString& path);

}  // namespace ktest
