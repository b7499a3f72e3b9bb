#pragma once
// The offers of a newer version: the program's own update and the update of an installed product. Each version is
// offered at most once a month (UpdateOfferRule.h); Yes downloads and starts the installer.

#include "catalogue/ApplicationInfo.h"
#include "catalogue/InstalledProduct.h"

#include <QString>

#include <string>

// The running program's version.
extern const char* const programVersion;   // "1.4.4.1"

// Asks the service for the program's own update; records the link and AccountState's selfUpdateAvailable. True
// when the user said Yes and the installer was started.
bool checkSelfUpdate();
// Downloads and starts the installer from AccountState's selfUpdateLink; true when it was started.
bool runSelfUpdate();
// Offers the update of an installed product (installed may be null). True when the user said Yes and the
// product's installer was started.
bool askProductUpdate(const ApplicationInfo* application, const InstalledProduct* installed);

// > 0 when a is newer than b, 0 when equal, < 0 when older. The first four dot-separated parts count, as numbers;
// a part that is not a number, or is missing, counts 0.
int compareVersionStrings(const std::string& a, const std::string& b);

// The question "A new version of <name> is available..."; true for Yes.
bool askUpdateQuestion(const QString& name);
