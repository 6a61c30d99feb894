#pragma once

#include <QString>

#include <chrono>

// Qt's Firebird driver passes no connect time-out to the client, so a server that takes the
// connection and never answers holds the connect for the client's own ConnectTimeout (180 s
// unless configured). One attach through the client library with a time-out, detached at
// once, meets such a server before the driver does.
class FirebirdConnectCheck {
public:
    struct Login {
        QString database;
        QString user;
        QString password;
        QString role;
        QString charset;
    };

    explicit FirebirdConnectCheck(std::chrono::seconds connectTimeout);

    // A "host:path", "host/port:path" or "inet://" name goes over the network; a bare path is
    // opened by the embedded engine, which has no network to wait on.
    static bool IsRemote(const QString& databaseName);

    // Empty when the server let the login in; otherwise what went wrong, in the client's words.
    QString Failure(const Login& login) const;

private:
    std::chrono::seconds connectTimeout_;
};
