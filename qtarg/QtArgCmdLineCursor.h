#pragma once
#include <QString>
#include <QStringList>

// The command-line elements still to be read. The position is an index, so inserting an element keeps it valid
// and a copy of the cursor reads its own list.
class QtArgCmdLineCursor {
public:
    explicit QtArgCmdLineCursor(const QStringList& list = QStringList());

    // The element at the position, and the position moves past it; a null string at the end.
    QString next();
    bool atEnd() const;
    // The inserted element is the next one read.
    void insert(const QString& element);

private:
    QStringList m_list;
    int m_position = 0;
};
