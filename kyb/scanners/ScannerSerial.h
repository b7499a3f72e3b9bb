#pragma once
#include <QString>

// A scanner serial that may name a folder of the Devices folder: [A-Za-z0-9._-]+, and not "." or "..".
bool isSafeSerial(const QString& serial);
