#pragma once
// A scanner description in the per-user Devices folder, as an unpacked calibration leaves it.

#include <QDir>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include "kyb/storage/AppDataFolders.h"

namespace ktest {

inline void storeDescription(const QString& serial, const QString& cameraId, const QString& cid)
{
    const QString folder = QString::fromStdWString(devicesFolder()) + QLatin1Char('/') + serial;
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/Device.xml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Belmo>\n  <Device>\n    <Info>\n"
                              "      <serial>string : %1</serial>\n      <camera>string : LUM</camera>\n"
                              "      <camera_id>string : %2</camera_id>\n      <camera_clr_id>string : 0</camera_clr_id>\n"
                              "      <cid>string : %3</cid>\n      <version>string : 1.0</version>\n    </Info>\n"
                              "  </Device>\n</Belmo>\n")
                   .arg(serial, cameraId, cid)
                   .toUtf8());
}

}  // namespace ktest
