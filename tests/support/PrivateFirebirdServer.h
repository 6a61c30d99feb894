#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A Firebird server of the test's own: its own root (configuration, security database, lock
// folder) and port, so a test can stop it mid-work without disturbing the shared server.
class PrivateFirebirdServer {
public:
    PrivateFirebirdServer();
    ~PrivateFirebirdServer();
    PrivateFirebirdServer(const PrivateFirebirdServer&) = delete;
    PrivateFirebirdServer& operator=(const PrivateFirebirdServer&) = delete;

    // False with the reason in ErrorText() when the server does not come up.
    bool Start();
    void Stop();
    // Ends the server at once, as a crash would, without a chance to clean up.
    void Kill();
    bool IsRunning() const;

    // "127.0.0.1/port", the server part of a DBNAME.
    QString ServerName() const;
    // A folder the server can write its database files in.
    QString DataFolder() const;
    QString ErrorText() const { return errorText_; }

private:
    bool PrepareRoot();

    QTemporaryDir root_;
    QProcess process_;
    quint16 port_ = 0;
    QString errorText_;
};
