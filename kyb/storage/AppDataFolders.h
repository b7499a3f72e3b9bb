#pragma once
#include <QString>
#include <string>

// The per-user folder "<base>/Belmo/Kestrune" (base: platform::userDataBase) in its two spellings.

// With forward slashes and a trailing "/"; the folder is created (with its parents) on every call.
QString appDataPath();
// As a filesystem path, without a trailing separator; nothing is created.
std::wstring appDataFolder();
// appDataFolder() / "Devices"; nothing is created.
std::wstring devicesFolder();
