#pragma once

#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>

class DbConnection;
class QObject;
class ReplyMailbox;

// A database connection on a thread of its own, so that a server that keeps it waiting does not
// hold up the window. Requests run one after another in the order made, and each answer is
// called on the thread that made this object. Dropping it drops the answers still to come and
// lets the connection close once its thread is free, without waiting for it.
class BackgroundConnection {
public:
    explicit BackgroundConnection(QString connectionString);
    ~BackgroundConnection();
    BackgroundConnection(const BackgroundConnection&) = delete;
    BackgroundConnection& operator=(const BackgroundConnection&) = delete;

    // opened is false on any failure; the failure itself is not told.
    void Open(std::function<void(bool opened)> answer);
    // The column "Name" of every row of the prepared statement, in the order returned; a
    // failure comes as error, to be raised where the answer is taken.
    using Names = std::function<void(const QStringList& names, std::exception_ptr error)>;
    void SelectNames(const QString& sql, Names answer);
    // A request has been made whose answer has not come yet.
    bool Waiting() const { return waiting_ > 0; }

private:
    // Runs work on the connection's thread; its answer, posted to the mailbox, ends the wait.
    void Request(std::function<std::function<void()>(DbConnection& connection)> work);

    std::shared_ptr<ReplyMailbox> mailbox_;
    // Lives on the connection's thread and goes with it.
    QObject* worker_;
    std::shared_ptr<DbConnection> connection_;
    int waiting_ = 0;
};
