#pragma once
// Whole-file reads and writes for tests.

#include <QByteArray>
#include <QString>

namespace ktest {

// The bytes of the file at path, or "<unreadable>" when it cannot be opened, so a missing file never reads as an
// empty one.
QByteArray readFile(const QString& path);

// Writes content as the whole file at path, making its folder first; a file that cannot be written fails the test.
void writeFile(const QString& path, const QByteArray& content);

}  // namespace ktest
