#pragma once
#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

using FormFields = std::vector<std::pair<QString, QString>>;

// "name=value&name=value" with names and values UTF-8 and percent-encoded (only unreserved characters stay as they
// are), for form bodies and URL queries alike.
QByteArray encodeFormFields(const FormFields& fields);
