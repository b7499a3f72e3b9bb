#include "zip/DosDateTime.h"

DosDateTime DosDateTime::fromLocal(const QDateTime& local)
{
    QDate date = local.date();
    QTime time = local.time();
    if (!date.isValid() || date.year() < 1980) {
        date = QDate(1980, 1, 1);
        time = QTime(0, 0, 0);
    } else if (date.year() > 2107) {
        date = QDate(2107, 12, 31);
        time = QTime(23, 59, 58);
    }
    DosDateTime dos;
    dos.time = quint16(time.hour() * 2048 + time.minute() * 32 + time.second() / 2);
    dos.date = quint16(((date.year() - 1980) % 128) * 512 + date.month() * 32 + date.day());
    return dos;
}

QDateTime DosDateTime::toLocal() const
{
    const QDate d(1980 + (date >> 9), (date >> 5) & 15, date & 31);
    const QTime t(time >> 11, (time >> 5) & 63, 2 * (time & 31));
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t, Qt::LocalTime);
}
