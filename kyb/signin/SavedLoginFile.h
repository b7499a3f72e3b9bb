#pragma once
// The saved sign-in file kyb.dat: login, the service's record id for this computer, and the enciphered "uok" and
// auth token as the service returned them, one field a line.

#include <QString>
#include <string>

struct SavedLogin {
    QString login;
    std::string machineRecordId;
    std::string uok;        // enciphered, base64
    std::string authToken;  // enciphered, base64
};

class SavedLoginFile {
public:
    explicit SavedLoginFile(const QString& path);

    const QString& path() const { return path_; }

    // False when the file cannot be opened. Each line is one field, so an empty field cannot shift the others;
    // CR LF line breaks and surrounding blanks are dropped. Content with fewer than four lines is read as
    // whitespace-separated words, as earlier versions read it. Missing fields read as empty texts.
    bool read(SavedLogin* out) const;

    // Replaces the file atomically, readable and writable by its owner only. Line breaks are dropped from every
    // field and all white space from the two base64 values, so no field can spill into the next line.
    bool write(const SavedLogin& record) const;

    // True when the file is gone afterwards.
    bool remove() const;

private:
    QString path_;
};
