#pragma once

class DbConnection;
class TransferContext;

// Reads the source's balances with the operator's query and writes every changed quantity
// into the receiver in one transaction. Returns the number of items written, 0 when a stop
// request cut it short; throws the failure otherwise.
int TransferFromSql(TransferContext& worker, DbConnection& receiver, DbConnection& source);
