#pragma once

#include <QString>

class AutomationObject;
class DbConnection;
class TransferContext;

// Hands the receiver's item codes to the infobase, lets it compute their balances, reads them
// back one code at a time and writes every changed quantity into the receiver in one
// transaction. Returns the number of items written: 0 also when a stop request cut it short or
// termination was requested during its pause; throws the failure otherwise.
int TransferFrom1C(TransferContext& worker, DbConnection& receiver, AutomationObject& infobase);

// One expression evaluated in the infobase, its answer as trimmed text; an expression that is
// empty after trimming is not sent and answers empty text.
QString Evaluate(AutomationObject& infobase, const QString& expression);
