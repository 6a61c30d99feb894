#pragma once

#include "ReceiverKind.h"

#include <QString>

class DatabaseFixtures;

// A receiver and a source with the same items, changedPercent of them (a divisor of 100)
// with another quantity in the source. The receiver is built once and copied for every cycle,
// so that each cycle finds the same work to do.
class CycleDataSet {
public:
    CycleDataSet(DatabaseFixtures& fixtures, int itemCount, int changedPercent);

    int ItemCount() const { return itemCount_; }
    int ChangedPercent() const { return 100 / changedEvery_; }
    int ChangedItemCount() const;
    QString SourceConnectionString() const { return sourceConnectionString_; }

    // A new copy of the receiver as built; the server reaches it over TCP as server, a
    // "host[/port]".
    QString FreshReceiver(ReceiverKind kind, const QString& server);
    // Throws std::runtime_error unless the receiver holds exactly the source's quantities.
    void CheckUpdated(const QString& receiverConnectionString) const;
    // Removes a copy made by FreshReceiver.
    static void Discard(const QString& receiverConnectionString);

private:
    DatabaseFixtures& fixtures_;
    int itemCount_;
    int changedEvery_;
    QString templatePath_;
    QString sourceConnectionString_;
    int copies_ = 0;
};
