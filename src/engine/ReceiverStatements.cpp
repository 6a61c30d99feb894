#include "engine/ReceiverStatements.h"

#include "platform/DbConnection.h"
#include "platform/Errors.h"

namespace {

bool IsAsciiLetter(QChar ch) {
    return (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
}

bool IsPlainIdentifier(const QString& name) {
    if (name.isEmpty() || !IsAsciiLetter(name.front()))
        return false;
    for (QChar ch : name) {
        if (!IsAsciiLetter(ch) && !(ch >= u'0' && ch <= u'9') && ch != u'_' && ch != u'$')
            return false;
    }
    return true;
}

// "..." with every inner double quote doubled.
bool IsQuotedIdentifier(const QString& name) {
    if (name.size() < 3 || name.front() != u'"' || name.back() != u'"')
        return false;
    for (qsizetype i = 1; i < name.size() - 1; ++i) {
        if (name[i] != u'"')
            continue;
        if (i + 1 >= name.size() - 1 || name[i + 1] != u'"')
            return false;
        ++i;
    }
    return true;
}

// Blanks around a name do no harm in a statement, so only the name itself is judged.
const QString& Checked(const QString& name) {
    const QString core = name.trimmed();
    if (!IsPlainIdentifier(core) && !IsQuotedIdentifier(core))
        throw Exception(
            QStringLiteral("Имя \"%1\" в настройках приемника не является именем таблицы или поля.")
                .arg(name));
    return name;
}

} // namespace

namespace ReceiverStatements {

QString BalanceSelect(const QString& tableName, const QString& keyField) {
    return QStringLiteral("select B.Code, A.Quantity from ") + Checked(tableName) +
           QStringLiteral(" A, Parts B where A.") + Checked(keyField) +
           QStringLiteral(" = B.Partno order by B.Code");
}

QString BalanceUpdate(const QString& tableName, const QString& valueField,
                      const QString& keyField) {
    return QStringLiteral("update ") + Checked(tableName) + QStringLiteral(" set ") +
           Checked(valueField) + QStringLiteral(" = :Quantity where ") + Checked(keyField) +
           QStringLiteral(" = (select A.Partno from Parts A where A.Code = :Code)");
}

QString ClearValues(const QString& tableName, const QString& valueField) {
    return QStringLiteral("update ") + Checked(tableName) + QStringLiteral(" set ") +
           Checked(valueField) + QStringLiteral(" = Null where ") + valueField +
           QStringLiteral(" is not null");
}

void InTransaction(DbConnection& receiver, const std::function<void()>& work) {
    receiver.BeginTrans();
    try {
        work();
        receiver.CommitTrans();
    } catch (...) {
        try {
            receiver.RollbackTrans();
        } catch (const Exception&) {
            // A lost connection or a failed commit leaves nothing to roll back; the first
            // failure is the one that tells what went wrong.
        }
        throw;
    }
}

} // namespace ReceiverStatements
