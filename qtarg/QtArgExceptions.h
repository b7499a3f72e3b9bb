#pragma once
// Errors of the command-line parser. Every one is a std::runtime_error whose what() is the message in the
// local 8-bit encoding; the message itself is kept as a QString.
#include <QString>

#include <stdexcept>

class QtArgBaseException : public std::runtime_error {
public:
    explicit QtArgBaseException(const QString& message);

    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// A name or a flag on the command line matches no argument, or a name prefix matches several.
class QtArgUnknownArgumentEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// An element that is neither a name nor a flag and that no argument took as its value.
class QtArgUnexpectedOptionEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// A required argument was put into an exclusive group.
class QtArgRequiredArgumentUnderXORMaskEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// An argument that takes a value was given without one.
class QtArgNotDefinedOptionForTheArgumentEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// A required argument or group was not given.
class QtArgNotDefinedMandatoryArgumentEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// A declared flag or name that the syntax cannot express.
class QtArgDissallowedFlagOrNameEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// Two declared arguments share a flag or a name.
class QtArgNameOrFlagAlreadyKnownEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// A declared argument has neither a name nor a flag.
class QtArgNotDefinedNorNameNorFlagEx : public QtArgBaseException {
public:
    QtArgNotDefinedNorNameNorFlagEx();
};

// A value constraint rejected the value given.
class QtArgContraintNotObservedEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// More than one member of an exclusive group was given.
class QtArgXORMaskNotObservedEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};

// For a caller that prints the usage text and then stops parsing; the parser never throws it.
class QtArgHelpHasPrintedEx : public QtArgBaseException {
public:
    using QtArgBaseException::QtArgBaseException;
};
