#pragma once
// DOS time and date fields: local wall-clock time, two-second resolution, years 1980 to 2107.

#include <QDateTime>
#include <QtGlobal>

struct DosDateTime {
    quint16 time = 0;
    quint16 date = 0;

    // The fields of a local date and time; years outside 1980..2107 are clamped to the first or last moment.
    static DosDateTime fromLocal(const QDateTime& local);
    // The local date and time the fields stand for; invalid when they hold no real date or time.
    QDateTime toLocal() const;
};
