#include "engine/ReceiverStatements.h"

#include "platform/DbConnection.h"
#include "platform/Errors.h"

#include <QStringList>

namespace {

bool IsAsciiLetter(QChar ch) {
    return (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
}

bool IsPlainIdentifier(const QString& name) {
    if (name.isEmpty() || !IsAsciiLetter(name.front()))
        return false;
    for (QChar ch : name)
        if (!IsAsciiLetter(ch) && !(ch >= u'0' && ch <= u'9') && ch != u'_' && ch != u'$')
            return false;
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

QString BalanceUpdateBlock(const QString& tableName, const QString& valueField,
                           const QString& keyField, int count) {
    const QString update = BalanceUpdate(tableName, valueField, keyField);
    const QString quantityType =
        QStringLiteral("type of column %1.%2").arg(tableName.trimmed(), valueField.trimmed());
    const QString codeType = QStringLiteral("type of column Parts.Code");
    QStringList inputs;
    QStringList calls;
    for (int i = 0; i < count; ++i) {
        inputs.append(QStringLiteral("Q%1 %2 = ?, C%1 %3 = ?").arg(i).arg(quantityType, codeType));
        calls.append(QStringLiteral("execute procedure Set_Balance(:Q%1, :C%1);").arg(i));
    }
    return QStringLiteral("EXECUTE BLOCK (") + inputs.join(QStringLiteral(", ")) +
           QStringLiteral(") as declare procedure Set_Balance (Quantity ") + quantityType +
           QStringLiteral(", Code ") + codeType + QStringLiteral(") as begin ") + update +
           QStringLiteral("; end begin ") + calls.join(QLatin1Char(' ')) + QStringLiteral(" end");
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
