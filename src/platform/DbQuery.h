#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <utility>

class DbConnection;
class QSqlQuery;

// A statement on one connection: its text is set, prepared, then opened (rows) or executed,
// once or many times with fresh parameter values. Results are read forward only.
class DbQuery {
public:
    explicit DbQuery(DbConnection& connection);
    ~DbQuery();
    DbQuery(const DbQuery&) = delete;
    DbQuery& operator=(const DbQuery&) = delete;

    void SetSql(const QString& sql);
    void Prepare();
    // Runs a row-returning statement; the cursor stands on the first row.
    void Open();
    void Execute();
    void Close();
    // The name is written without its colon; a text or a number.
    void SetParameter(const QString& name, const QVariant& value);
    // The value of the position-th "?" (from 0) of an EXECUTE BLOCK, whose inputs have no names.
    void SetParameter(int position, const QVariant& value);

    bool Eof() const;
    void Next();
    bool FieldIsNull(const QString& field) const;
    QVariant FieldValue(const QString& field) const;
    // Null reads as empty text or 0.
    QString FieldAsText(const QString& field) const;
    int FieldAsInteger(const QString& field) const;
    double FieldAsFloat(const QString& field) const;

    // The value of resultField in the row whose keyField equals key, or nothing when no row
    // matches. The first call reads the rest of the result into an index; the cursor keeps
    // its place.
    std::optional<QVariant> Lookup(const QString& keyField, const QVariant& key,
                                   const QString& resultField);

private:
    friend class DbConnection;

    DbConnection& Connection() const;
    void Release();
    // The ODBC statement handle is offered to the connection's Cancel while it lives.
    void ListHandle();
    void UnlistHandle();
    void PrepareStatement();
    void Run();
    void FetchNext();
    void ReadRemainingRows();
    void IndexRows(int keyIndex);
    int FieldIndex(const QString& field) const;
    QVariant CurrentValue(const QString& field) const;
    [[noreturn]] void RaiseStatementError() const;

    DbConnection* connection_;
    QString sql_;
    QString driverSql_;
    QStringList placeholders_;
    QHash<QString, QVariant> parameters_;
    QVariantList markerValues_;
    std::unique_ptr<QSqlQuery> query_;
    void* listedHandle_ = nullptr;
    bool prepared_ = false;
    quint64 preparedSerial_ = 0;
    bool active_ = false;
    bool eof_ = true;
    QHash<QString, int> fieldIndex_;
    // Names as the callers spell them, so that a loop lowers each name once. A loop reads a few
    // names per row: scanning them is cheaper than hashing the name.
    mutable QList<std::pair<QString, int>> spelledIndex_;
    int columnCount_ = 0;
    bool buffered_ = false;
    // The buffered rows one after another: row r starts at r * columnCount_.
    QVariantList values_;
    qsizetype rowCount_ = 0;
    qsizetype rowPos_ = 0;
    int indexedField_ = -1;
    QHash<qint64, qsizetype> integerIndex_;
    QHash<QString, qsizetype> textIndex_;
};
