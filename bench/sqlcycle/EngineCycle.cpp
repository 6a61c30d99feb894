#include "EngineCycle.h"

#include "BenchTransferContext.h"
#include "CycleSchema.h"

#include "engine/SqlTransfer.h"
#include "platform/DbConnection.h"

qint64 EngineCycle::Run(const QString& receiverConnectionString,
                        const QString& sourceConnectionString) {
    WorkerParameters parameters;
    parameters.ConnectionType = 1;
    parameters.ReceiverConnectionString = receiverConnectionString;
    parameters.SourceConnectionString = sourceConnectionString;
    parameters.TableName = CycleSchema::kTableName;
    parameters.KeyField = CycleSchema::kKeyField;
    parameters.ValueField = CycleSchema::kValueField;
    parameters.SqlQuery = CycleSchema::kSourceQuery;
    parameters.DockingField = CycleSchema::kDockingField;
    parameters.SourceValueField = CycleSchema::kSourceValueField;
    BenchTransferContext worker(parameters);

    DbConnection receiver(parameters.ReceiverConnectionString.trimmed());
    receiver.Open();
    DbConnection source(parameters.SourceConnectionString.trimmed());
    source.Open();
    TransferFromSql(worker, receiver, source);
    source.Close();
    receiver.Close();
    return worker.UpdateNs();
}
