#include "ui/BackgroundConnection.h"

#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "platform/ReplyMailbox.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

BackgroundConnection::BackgroundConnection(QString connectionString)
    : mailbox_(std::make_shared<ReplyMailbox>())
    , worker_(new QObject)
    , connection_(std::make_shared<DbConnection>(std::move(connectionString))) {
    auto* thread = new QThread;
    worker_->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, worker_, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

BackgroundConnection::~BackgroundConnection() {
    mailbox_->Close();
    // The connection is closed and released on its own thread, after what it is busy with.
    QMetaObject::invokeMethod(
        worker_,
        [connection = std::move(connection_)]() mutable {
            connection.reset();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
}

void BackgroundConnection::Open(std::function<void(bool)> answer) {
    Request([answer = std::move(answer)](DbConnection& connection) -> std::function<void()> {
        bool opened = true;
        try {
            connection.Open();
        } catch (const std::exception&) {
            opened = false;
        }
        return [answer, opened] { answer(opened); };
    });
}

void BackgroundConnection::SelectNames(const QString& sql, Names answer) {
    Request([sql, answer = std::move(answer)](DbConnection& connection) -> std::function<void()> {
        QStringList names;
        std::exception_ptr error;
        try {
            DbQuery query(connection);
            query.SetSql(sql);
            query.Prepare();
            query.Open();
            for (; !query.Eof(); query.Next())
                names.append(query.FieldAsText(QStringLiteral("Name")));
        } catch (...) {
            error = std::current_exception();
        }
        return [answer, names, error] { answer(names, error); };
    });
}

void BackgroundConnection::Request(std::function<std::function<void()>(DbConnection&)> work) {
    ++waiting_;
    QMetaObject::invokeMethod(
        worker_,
        [this, work = std::move(work), connection = connection_, mailbox = mailbox_] {
            std::function<void()> answer = work(*connection);
            // this is only reached through the mailbox, which closes before it goes.
            mailbox->Post([this, answer = std::move(answer)] {
                --waiting_;
                answer();
            });
        },
        Qt::QueuedConnection);
}
