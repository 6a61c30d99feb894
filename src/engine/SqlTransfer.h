#pragma once

class DbConnection;
class TransferContext;

// Reads the source's balances with the operator's query and writes every changed quantity
// into the receiver in one transaction. Returns normally when it ran or a stop request cut it
// short; throws the failure otherwise.
void TransferFromSql(TransferContext& worker, DbConnection& receiver, DbConnection& source);
