#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

// The line protocol between an automation object and its server process: one request line
// on the server's standard input, one answer line on its standard output, UTF-8.
//   request: method name, then each argument as TAB + value
//   answer:  "=" + value; "!" + an error the server's object raised; "?" + a failure outside
//            the object (a name it does not know, arguments it refuses, an object that could
//            not be made, a server of its own that is gone). After either error the server
//            goes on serving.
//   value:   "B-1" / "B0" Boolean, "I" + decimal integer, "F" + decimal floating-point,
//            "S" + text, "N" nothing, "O" + decimal an object the server holds for the client
// Text escapes backslash, TAB, LF and CR as \\, \t, \n, \r, so a value never holds a
// separator.
namespace AutomationProtocol {

// An object a call returned, which stays in the server: the client can only pass it back.
struct ServerObject {
    qlonglong number = 0;
    friend bool operator==(const ServerObject&, const ServerObject&) = default;
};

struct Request {
    QString method;
    QVariantList arguments;
};

struct Answer {
    bool failed = false;
    QVariant value;
    QString message;
    // The failure was outside the server's object ("?"), not an error it raised ("!").
    bool outsideObject = false;
};

// A Boolean as automation passes it: a 16-bit integer, True -1 and False 0.
QVariant Boolean(bool value);

// Lines below end with LF when encoded and are given without it when decoded. A line that
// does not follow the protocol decodes as nothing.
QByteArray EncodeRequest(const QString& method, const QVariantList& arguments);
std::optional<Request> DecodeRequest(const QByteArray& line);
QByteArray EncodeAnswer(const QVariant& value);
QByteArray EncodeError(const QString& message);
std::optional<Answer> DecodeAnswer(const QByteArray& line);

} // namespace AutomationProtocol

Q_DECLARE_METATYPE(AutomationProtocol::ServerObject)
