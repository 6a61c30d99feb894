#pragma once

#include "Infobase.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Serves one automation object over standard input and output until input ends. Test
// switches act on calls by name: a method (RMTrade, Initialize, EvalExpr) or, for EvalExpr,
// the function the expression calls.
//   --fail <name>:<message>   report the message as the call's error
//   --answer <name>:<text>    answer the text in place of the call's own answer
//   --exit-during <name>      end the process without answering
//   --garble <name>           answer a line outside the protocol
//   --delay <ms>              wait before every answer
class StandInServer {
public:
    // Throws Exception for switches it does not understand.
    explicit StandInServer(const QStringList& arguments);

    int Run();

private:
    QByteArray Answer(const QByteArray& line);
    QVariant Dispatch(const QString& method, const QVariantList& arguments);

    QHash<QString, QString> failures_;
    QHash<QString, QString> answers_;
    QSet<QString> exits_;
    QSet<QString> garbled_;
    int delayMs_ = 0;
    Infobase infobase_;
};
