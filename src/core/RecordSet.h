#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class RecordSet;

enum class FieldType { Integer, SmallInt, Text, DateTime, Time };
enum class FieldKind { Data, Lookup, Calculated };
enum class RecordSetState { Inactive, Browse, Edit, Insert };

struct FieldDef {
    QString Name;
    FieldType Type = FieldType::Integer;
    int Size = 0; // characters, text fields only
    FieldKind Kind = FieldKind::Data;
    // Lookup fields: LookupResultField of the LookupSet row whose LookupKeyField equals
    // this row's KeyField.
    QString KeyField;
    const RecordSet* LookupSet = nullptr;
    QString LookupKeyField;
    QString LookupResultField;
    // Text that must stay on one line of the settings file: no backquote, CR or LF.
    bool SingleLine = false;
};

// What changed, for the controls bound to a record set.
enum class RecordSetChange {
    Layout,  // rows added or removed, opened, closed, filtered, controls resumed
    Current, // the cursor moved to another row
    State,   // browse, edit or insert
    Field,   // one field of the current row changed
};

class RecordSetObserver {
public:
    virtual ~RecordSetObserver() = default;
    // fieldIndex is set for RecordSetChange::Field, -1 otherwise.
    virtual void RecordSetChanged(RecordSet& set, RecordSetChange change, int fieldIndex) = 0;
};

// One field of the current row (the edit buffer while editing or inserting). Null reads as 0
// and as the empty text. Values are converted to the field's type when stored; text is cut to
// the field's width.
class Field {
public:
    Field(RecordSet& set, int index);

    const FieldDef& Def() const;
    const QString& Name() const { return Def().Name; }
    FieldType DataType() const { return Def().Type; }
    FieldKind Kind() const { return Def().Kind; }

    bool IsNull() const;
    QVariant Value() const; // invalid QVariant when null
    int AsInteger() const;
    QString AsString() const; // dates and times by the regional settings
    QDateTime AsDateTime() const;
    QTime AsTime() const;

    void SetValue(const QVariant& value); // invalid QVariant stores null
    void SetAsInteger(int value);
    // Text is converted by the field's type: "'%s' is not a valid integer value",
    // "'%s' is not a valid date and time", "'%s' is not a valid time".
    void SetAsString(const QString& text);
    void SetAsDateTime(const QDateTime& value);
    void SetAsTime(const QTime& value);
    void Clear();

private:
    RecordSet* set_;
    int index_;
};

// An in-memory table: typed fields, an ordered list of rows, a cursor, the states browse, edit
// and insert, and change events. Used on the main thread only.
class RecordSet {
public:
    using Handler = std::function<void(RecordSet&)>;

    // orderedById: rows are kept in ascending order of the field "Id".
    explicit RecordSet(QString name, bool orderedById = true);
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    const QString& Name() const { return name_; }

    // Layout, fixed before Open.
    void AddField(FieldDef def);
    const QList<FieldDef>& FieldDefs() const { return fields_; }
    int FieldIndex(const QString& name) const; // -1 when missing; letter case ignored
    // "<table>: Field '<name>' not found" when the table has no such field.
    Field FieldByName(const QString& name);

    void Open();
    void Close();
    bool Active() const;
    void EmptyTable();

    // Cursor over the rows the filter lets through. Moving while editing posts a modified
    // row and cancels an unmodified one.
    void First();
    void Last();
    void Next();
    void Prior();
    void MoveTo(int recNo);
    bool Eof() const;
    bool Bof() const;
    int RecordCount() const;
    bool IsEmpty() const;
    int RecNo() const; // 0-based, -1 when empty

    RecordSetState State() const { return state_; }
    bool IsEditing() const; // edit or insert
    void Insert();          // a new row at the cursor: OnNewRecord, AfterInsert, AfterScroll
    void Append();          // the same, at the end
    void Edit();
    void Post();   // AfterPost; an ordered table moves the row to its place by Id
    void Cancel(); // AfterCancel
    void Delete(); // AfterDelete, AfterScroll
    void CheckBrowseMode();

    // Several fields are written "IdTable;NameTable", with one value each.
    bool Locate(const QString& fieldNames, const QVariantList& values,
                Qt::CaseSensitivity textCase = Qt::CaseSensitive);
    // The result fields ("A;B") of the first matching row, without moving the cursor; an empty
    // list when no row matches.
    QVariantList Lookup(const QString& keyFields, const QVariantList& keyValues,
                        const QString& resultFields) const;
    // Writes the fields ("A;B", one value each) of the first stored row that matches, without
    // moving the cursor: a pending edit or insert of another row stays as it is, and a pending
    // edit of this row takes the values too. AfterRowUpdate follows; false when no row matches.
    bool UpdateRow(const QString& keyFields, const QVariantList& keyValues,
                   const QString& fieldNames, const QVariantList& values);
    // The data values of every stored row in order, whatever the cursor and the filter: a
    // pending edit is not part of them, nor is a row under insert.
    QList<QVariantList> StoredRows() const;

    // Only expressions of the form "<field> = <integer>" are understood.
    void SetFilter(const QString& expression);
    void SetFiltered(bool on);
    bool Filtered() const { return filtered_; }

    // Values of any visible row for display, lookup and calculated fields included.
    QVariant ValueAt(int recNo, int fieldIndex) const;

    // Pause and resume the bound controls; resuming tells them to re-read everything.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    void AddObserver(RecordSetObserver* observer);
    void RemoveObserver(RecordSetObserver* observer);

    Handler OnNewRecord;
    Handler AfterInsert;
    Handler AfterScroll;
    Handler AfterPost;
    Handler AfterCancel;
    Handler AfterDelete;
    // After UpdateRow changed a row that is not necessarily the current one.
    Handler AfterRowUpdate;
    // Fills the calculated fields of the row being read (Field::SetValue works on them here).
    Handler OnCalcFields;

private:
    friend class Field;
    using Row = QVariantList;

    bool UsesView() const;
    int RealRow(int recNo) const;
    int VisibleCount() const;
    int RequireField(const QString& name) const;
    QList<int> FieldList(const QString& names) const;
    bool RowPasses(const Row& row) const;
    void RebuildView();
    int VisibleIndexOf(int realRow) const;
    qint64 IdKey(const Row& row) const;
    // The first real row whose values match; the row under insert is skipped.
    int FindRow(const QList<int>& keys, const QVariantList& values,
                Qt::CaseSensitivity textCase) const;
    bool RowMatches(const Row& row, const QList<int>& keys, const QVariantList& values,
                    Qt::CaseSensitivity textCase) const;
    // An exact search over data fields through a hash index built on first use.
    int IndexedFind(const QList<int>& keys, const QVariantList& values) const;
    void InvalidateIndexes() { indexes_.clear(); }
    QVariant ComputeValue(const Row& row, int fieldIndex) const;
    Row Calculate(const Row& row) const;
    const Row* CurrentRow() const;
    QVariant CurrentValue(int fieldIndex) const;
    void StoreValue(int fieldIndex, const QVariant& value);
    int PlaceById(int realRow);
    int PrepareFilterChange();
    void ApplyFilter(int currentRealRow);
    void MoveCursor(int recNo);
    void SetState(RecordSetState state);
    void Notify(RecordSetChange change, int fieldIndex = -1);
    void Fire(const Handler& handler);
    void RequireActive() const;
    // Drops every row, the edit and the cursor; the table goes to next.
    void DropRows(RecordSetState next);
    void BeginNewRow(int realRow);

    QString name_;
    bool orderedById_;
    QList<FieldDef> fields_;
    RecordSetState state_ = RecordSetState::Inactive;
    bool filtered_ = false;
    int disableCount_ = 0;

    int idIndex_ = -1;
    // Rows are held by pointer so that placing a row by Id moves pointers, not values.
    std::vector<std::unique_ptr<Row>> rows_;
    // Per list of key fields: the first row of each key. Dropped at every change of the rows
    // or the filter, so a table looked up once per row of another stays linear.
    mutable std::map<QList<int>, QHash<QString, int>> indexes_;
    // Visible real rows in order, kept only while a filter is on.
    std::vector<int> view_;
    int filterField_ = -1;
    int filterValue_ = 0;
    int cursor_ = -1; // visible index
    bool eof_ = true;
    bool bof_ = true;
    Row buffer_;
    int editRow_ = -1; // real row under edit or insert
    bool modified_ = false;
    // The row whose calculated fields are being filled, and their values.
    mutable const Row* calcRow_ = nullptr;
    mutable Row calcValues_;
    std::vector<RecordSetObserver*> observers_;
};
