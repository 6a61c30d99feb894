#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A failure with a message for the operator. The general kind: conversion faults,
// answers a caller rejects, everything that is not a failed call into a component.
class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& Message() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// A failed call into a platform component (a database driver, an automation server).
class EOleSysError : public Exception {
public:
    using Exception::Exception;
};

// A failure the component itself describes: the provider's or the server's own message.
class EOleException : public EOleSysError {
public:
    using EOleSysError::EOleSysError;
};

// A file that cannot be opened, written or closed.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// Thrown into a worker whose hand-over is refused because the program is ending.
class EShutdown : public Exception {
public:
    EShutdown();
};
