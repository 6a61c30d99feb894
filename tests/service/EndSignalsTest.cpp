#include "support/DatabaseFixtures.h"

#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "service/EndSignals.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <exception>
#include <memory>
#include <vector>

namespace {

// Both ways the program reaches Firebird: the embedded engine and a server.
const TestDatabaseKind kFirebirdKinds[] = {TestDatabaseKind::FirebirdEmbedded,
                                           TestDatabaseKind::FirebirdServer};

// Empty when the connection answers a select, else why it does not.
QString SelectFailure(DbConnection& connection) {
    try {
        DbQuery query(connection);
        query.SetSql(QStringLiteral("select 1 as One from rdb$database"));
        query.Prepare();
        query.Open();
        return query.FieldAsInteger(QStringLiteral("One")) == 1 ? QString()
                                                                : QStringLiteral("not 1");
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace

class EndSignalsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The end signal is the program's alone: the Firebird client must not shut its
    // attachments down behind the program's orderly end, which still writes through them.
    void firebirdStaysUsableAfterTheSignal() {
        DatabaseFixtures fixtures;
        EndSignals endSignals;
        QVERIFY(endSignals.Installed());
        QSignalSpy ended(&endSignals, &EndSignals::EndRequested);
        // Attached after the handlers are in place, as in the program: the client puts its own
        // handler in front of them at its first attachment.
        std::vector<QString> databases;
        std::vector<std::unique_ptr<DbConnection>> connections;
        for (const TestDatabaseKind kind : kFirebirdKinds) {
            databases.push_back(fixtures.Create(kind, QStringLiteral("end_signals")));
            connections.push_back(std::make_unique<DbConnection>(databases.back()));
            connections.back()->Open();
        }
        QVERIFY(::raise(SIGTERM) == 0);
        QVERIFY(ended.wait(10000));
        // The client's shutdown runs on a thread of its own; it takes well under this.
        const QDeadlineTimer watched(3000);
        while (!watched.hasExpired()) {
            for (const auto& connection : connections) {
                const QString failure = SelectFailure(*connection);
                QVERIFY2(failure.isEmpty(), qPrintable(failure));
            }
            QTest::qWait(100);
        }
        for (const QString& database : databases) {
            DbConnection fresh(database);
            fresh.Open();
            const QString failure = SelectFailure(fresh);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
    }
};

QTEST_GUILESS_MAIN(EndSignalsTest)
#include "EndSignalsTest.moc"
