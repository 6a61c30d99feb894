#pragma once

#include <QString>

#include <cstdint>

// The connection type of an SQL source; every other type is a 1C infobase.
inline constexpr int kSqlConnectionType = 1;

// The values a worker is started with, read from its connection, receiver and source rows.
struct WorkerParameters {
    int ConnectionId = 0;
    int SourceId = 0;
    int ReceiverId = 0;
    std::int64_t PeriodMs = 0;
    QString StockFilter;
    QString ReceiverConnectionString;
    QString KeyField;
    QString ValueField;
    QString TableName;
    int ConnectionType = 0;
    QString SourceConnectionString;
    QString SqlQuery;
    QString DockingField;
    QString SourceValueField;
    int AttemptLimit = 0;
};
