#pragma once
// The readers of the account service's JSON replies, apart from the requests that fetch them. Except
// readSignInReply, a reader throws boost::property_tree::ptree_error for a body it cannot read (a syntax error, a
// missing required key, a required value that does not convert).
#include <QByteArray>
#include <QString>
#include <vector>

#include "account/AccountState.h"
#include "catalogue/ApplicationInfo.h"
#include "scanners/AccountScanner.h"
#include "scanners/HardwareItem.h"

// login and info: the enciphered token, the record id and "uok" into out, and the e-mail when email is given.
// Throws std::runtime_error "Wrong server response data" for bad JSON and "Wrong server response data format" for
// a missing key; the fields read before it keep their new values.
void readSignInReply(const QByteArray& body, AccountState* out, QString* email);

// The scanners list; each element is appended as it is read, so those before a failure stay.
void readScannerList(const QByteArray& body, std::vector<AccountScanner>* list);

// The applications list, with the 64-bit download links when wow64; appended as for the scanners.
void readApplicationList(const QByteArray& body, bool wow64, std::vector<ApplicationInfo>* list);

// The self-update offer: its download link and trimmed version name.
void readUpdateOffer(const QByteArray& body, bool wow64, ApplicationInfo* out);

// A refusal (status 422): its required "message" is read and dropped.
void readRefusalMessage(const QByteArray& body);

// A connected camera's scanner: serial and owner; out changes only when both are read.
void readSerialNumberReply(const QByteArray& body, HardwareItem* out);

// "calibration_revision", -1 when missing or not an integer.
int readCalibrationRevision(const QByteArray& body);
