#include "core/RecordSet.h"

#include "core/TableFields.h"
#include "platform/Errors.h"
#include "platform/RegionalSettings.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

QString InvalidInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

int ParseInteger(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        throw Exception(InvalidInteger(text));
    return value;
}

QDateTime ParseDateTime(const QString& text) {
    const std::optional<QDateTime> value = RegionalSettings::TextToDateTime(text);
    if (!value || !value->isValid())
        throw Exception(QStringLiteral("'%1' is not a valid date and time").arg(text));
    return *value;
}

QTime ParseTime(const QString& text) {
    const std::optional<QTime> value = RegionalSettings::TextToTime(text);
    if (!value || !value->isValid())
        throw Exception(QStringLiteral("'%1' is not a valid time").arg(text));
    return *value;
}

bool IsText(const QVariant& value) {
    return value.typeId() == QMetaType::QString;
}

Exception WrongValue(const QString& table, const FieldDef& def, const QVariant& value) {
    return Exception(QStringLiteral("%1: Field '%2' cannot take the value '%3'")
                         .arg(table, def.Name, value.toString()));
}

Exception WrongRead(const QString& table, const FieldDef& def, const QString& kind) {
    return Exception(
        QStringLiteral("%1: Field '%2' cannot be read as %3").arg(table, def.Name, kind));
}

QVariant StoredInteger(const QString& table, const FieldDef& def, const QVariant& value) {
    qint64 number = 0;
    if (IsText(value)) {
        const QString text = value.toString();
        if (text.isEmpty())
            return {};
        number = ParseInteger(text);
    } else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        number = qRound64(value.toDouble());
    } else {
        bool ok = false;
        number = value.toLongLong(&ok);
        if (!ok)
            throw WrongValue(table, def, value);
    }
    const bool small = def.Type == FieldType::SmallInt;
    const qint64 low = small ? std::numeric_limits<qint16>::min() : std::numeric_limits<int>::min();
    const qint64 high =
        small ? std::numeric_limits<qint16>::max() : std::numeric_limits<int>::max();
    if (number < low || number > high) {
        throw Exception(
            QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                .arg(number)
                .arg(def.Name)
                .arg(low)
                .arg(high));
    }
    return QVariant(int(number));
}

QVariant StoredText(const FieldDef& def, const QVariant& value) {
    const QString text = def.Size > 0 ? value.toString().left(def.Size) : value.toString();
    if (def.SingleLine && (text.contains(u'`') || text.contains(u'\r') || text.contains(u'\n'))) {
        throw Exception(
            QStringLiteral("Поле \"%1\" не может содержать символ \"`\" и перевод строки.")
                .arg(def.Name));
    }
    return text;
}

QVariant StoredDateTime(const QString& table, const FieldDef& def, const QVariant& value) {
    QDateTime result;
    if (IsText(value)) {
        const QString text = value.toString();
        if (text.isEmpty())
            return {};
        result = ParseDateTime(text);
    } else if (value.typeId() == QMetaType::QDateTime) {
        result = value.toDateTime();
    } else if (value.typeId() == QMetaType::QDate) {
        result = value.toDate().startOfDay();
    } else {
        throw WrongValue(table, def, value);
    }
    return result.isValid() ? QVariant(result) : QVariant();
}

QVariant StoredTime(const QString& table, const FieldDef& def, const QVariant& value) {
    QTime result;
    if (IsText(value)) {
        const QString text = value.toString();
        if (text.isEmpty())
            return {};
        result = ParseTime(text);
    } else if (value.typeId() == QMetaType::QTime) {
        result = value.toTime();
    } else if (value.typeId() == QMetaType::QDateTime) {
        result = value.toDateTime().time();
    } else {
        throw WrongValue(table, def, value);
    }
    return result.isValid() ? QVariant(result) : QVariant();
}

// The value as the field holds it: converted to its type, text cut to its width.
QVariant StoredValue(const QString& table, const FieldDef& def, const QVariant& value) {
    if (!value.isValid())
        return {};
    switch (def.Type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        return StoredInteger(table, def, value);
    case FieldType::Text:
        return StoredText(def, value);
    case FieldType::DateTime:
        return StoredDateTime(table, def, value);
    case FieldType::Time:
        return StoredTime(table, def, value);
    }
    return {};
}

bool ValueEquals(const FieldDef& def, const QVariant& stored, const QVariant& wanted,
                 Qt::CaseSensitivity textCase) {
    if (!wanted.isValid())
        return !stored.isValid();
    if (!stored.isValid())
        return false;
    switch (def.Type) {
    case FieldType::Integer:
    case FieldType::SmallInt: {
        bool ok = false;
        const qint64 number = wanted.toLongLong(&ok);
        return ok && number == stored.toLongLong();
    }
    case FieldType::Text:
        return QString::compare(stored.toString(), wanted.toString(), textCase) == 0;
    case FieldType::DateTime:
        return stored.toDateTime() == wanted.toDateTime();
    case FieldType::Time:
        return stored.toTime() == wanted.toTime();
    }
    return false;
}

// The text under which a value of the field is indexed; nullopt for a value that can never
// equal a stored one. Each part carries its length, so joined keys cannot run into each other.
std::optional<QString> IndexKeyPart(const FieldDef& def, const QVariant& value) {
    QString text;
    if (!value.isValid()) {
        text = QStringLiteral("N");
    } else {
        switch (def.Type) {
        case FieldType::Integer:
        case FieldType::SmallInt: {
            bool ok = false;
            const qint64 number = value.toLongLong(&ok);
            if (!ok)
                return std::nullopt;
            text = u'I' + QString::number(number);
            break;
        }
        case FieldType::Text:
            text = u'T' + value.toString();
            break;
        case FieldType::DateTime:
            text = u'D' + QString::number(value.toDateTime().toMSecsSinceEpoch());
            break;
        case FieldType::Time:
            text = u't' + QString::number(value.toTime().msecsSinceStartOfDay());
            break;
        }
    }
    return QString::number(text.size()) + u':' + text;
}

} // namespace

// Field

Field::Field(RecordSet& set, int index)
    : set_(&set)
    , index_(index) {}

const FieldDef& Field::Def() const {
    return set_->fields_[index_];
}

bool Field::IsNull() const {
    return !Value().isValid();
}

QVariant Field::Value() const {
    return set_->CurrentValue(index_);
}

int Field::AsInteger() const {
    const QVariant value = Value();
    if (!value.isValid())
        return 0;
    switch (DataType()) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        return value.toInt();
    case FieldType::Text:
        return ParseInteger(value.toString());
    case FieldType::DateTime:
    case FieldType::Time:
        break;
    }
    throw WrongRead(set_->name_, Def(), QStringLiteral("an integer"));
}

QString Field::AsString() const {
    const QVariant value = Value();
    if (!value.isValid())
        return {};
    switch (DataType()) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        return QString::number(value.toInt());
    case FieldType::Text:
        return value.toString();
    case FieldType::DateTime:
        return RegionalSettings::DateTimeToText(value.toDateTime());
    case FieldType::Time:
        return RegionalSettings::TimeToText(value.toTime());
    }
    return {};
}

QDateTime Field::AsDateTime() const {
    const QVariant value = Value();
    if (!value.isValid())
        return {};
    switch (DataType()) {
    case FieldType::DateTime:
        return value.toDateTime();
    case FieldType::Time:
        // A bare time of day sits on the zero date, as in the settings file's origin.
        return QDateTime(QDate(1899, 12, 30), value.toTime());
    case FieldType::Text:
        return ParseDateTime(value.toString());
    case FieldType::Integer:
    case FieldType::SmallInt:
        break;
    }
    throw WrongRead(set_->name_, Def(), QStringLiteral("a date and time"));
}

QTime Field::AsTime() const {
    const QVariant value = Value();
    if (!value.isValid())
        return {};
    switch (DataType()) {
    case FieldType::Time:
        return value.toTime();
    case FieldType::DateTime:
        return value.toDateTime().time();
    case FieldType::Text:
        return ParseTime(value.toString());
    case FieldType::Integer:
    case FieldType::SmallInt:
        break;
    }
    throw WrongRead(set_->name_, Def(), QStringLiteral("a time"));
}

void Field::SetValue(const QVariant& value) {
    set_->StoreValue(index_, value);
}

void Field::SetAsInteger(int value) {
    SetValue(QVariant(value));
}

void Field::SetAsString(const QString& text) {
    SetValue(QVariant(text));
}

void Field::SetAsDateTime(const QDateTime& value) {
    SetValue(value.isValid() ? QVariant(value) : QVariant());
}

void Field::SetAsTime(const QTime& value) {
    SetValue(value.isValid() ? QVariant(value) : QVariant());
}

void Field::Clear() {
    SetValue(QVariant());
}

// RecordSet

RecordSet::RecordSet(QString name, bool orderedById)
    : name_(std::move(name))
    , orderedById_(orderedById) {}

void RecordSet::AddField(FieldDef def) {
    if (state_ != RecordSetState::Inactive)
        throw Exception(QStringLiteral("%1: Cannot change the fields of an open table").arg(name_));
    fields_.append(std::move(def));
}

int RecordSet::FieldIndex(const QString& name) const {
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int RecordSet::RequireField(const QString& name) const {
    const int index = FieldIndex(name);
    if (index < 0)
        throw Exception(QStringLiteral("%1: Field '%2' not found").arg(name_, name));
    return index;
}

Field RecordSet::FieldByName(const QString& name) {
    return Field(*this, RequireField(name));
}

QList<int> RecordSet::FieldList(const QString& names) const {
    QList<int> result;
    for (const QString& name : names.split(u';'))
        result.append(RequireField(name.trimmed()));
    return result;
}

void RecordSet::Open() {
    if (state_ != RecordSetState::Inactive)
        return;
    idIndex_ = orderedById_ ? FieldIndex(Fields::Shared::Id) : -1;
    rows_.clear();
    InvalidateIndexes();
    view_.clear();
    cursor_ = -1;
    eof_ = bof_ = true;
    SetState(RecordSetState::Browse);
    Notify(RecordSetChange::Layout);
    Fire(AfterScroll);
}

void RecordSet::Close() {
    if (state_ == RecordSetState::Inactive)
        return;
    DropRows(RecordSetState::Inactive);
}

bool RecordSet::Active() const {
    return state_ != RecordSetState::Inactive;
}

void RecordSet::EmptyTable() {
    RequireActive();
    DropRows(RecordSetState::Browse);
}

void RecordSet::DropRows(RecordSetState next) {
    rows_.clear();
    InvalidateIndexes();
    view_.clear();
    buffer_.clear();
    editRow_ = -1;
    modified_ = false;
    cursor_ = -1;
    eof_ = bof_ = true;
    SetState(next);
    Notify(RecordSetChange::Layout);
}

void RecordSet::RequireActive() const {
    if (state_ == RecordSetState::Inactive) {
        throw Exception(
            QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(name_));
    }
}

bool RecordSet::UsesView() const {
    return filtered_ && filterField_ >= 0;
}

int RecordSet::VisibleCount() const {
    return int(UsesView() ? view_.size() : rows_.size());
}

int RecordSet::RealRow(int recNo) const {
    return UsesView() ? view_[recNo] : recNo;
}

int RecordSet::VisibleIndexOf(int realRow) const {
    if (!UsesView())
        return realRow;
    const auto found = std::lower_bound(view_.begin(), view_.end(), realRow);
    return found != view_.end() && *found == realRow ? int(found - view_.begin()) : -1;
}

bool RecordSet::RowPasses(const Row& row) const {
    if (!UsesView())
        return true;
    const QVariant& value = row[filterField_];
    return value.isValid() && value.toInt() == filterValue_;
}

void RecordSet::RebuildView() {
    InvalidateIndexes();
    view_.clear();
    if (!UsesView())
        return;
    for (int i = 0; i < int(rows_.size()); ++i) {
        // The row being inserted stays in sight until it is posted.
        if ((state_ == RecordSetState::Insert && i == editRow_) || RowPasses(*rows_[i]))
            view_.push_back(i);
    }
}

qint64 RecordSet::IdKey(const Row& row) const {
    const QVariant& value = row[idIndex_];
    return value.isValid() ? value.toLongLong() : std::numeric_limits<qint64>::min();
}

void RecordSet::First() {
    RequireActive();
    CheckBrowseMode();
    const int count = VisibleCount();
    MoveCursor(count > 0 ? 0 : -1);
    bof_ = true;
    eof_ = count == 0;
    Fire(AfterScroll);
}

void RecordSet::Last() {
    RequireActive();
    CheckBrowseMode();
    const int count = VisibleCount();
    MoveCursor(count - 1);
    eof_ = true;
    bof_ = count == 0;
    Fire(AfterScroll);
}

void RecordSet::Next() {
    RequireActive();
    CheckBrowseMode();
    if (!eof_ && cursor_ + 1 < VisibleCount()) {
        MoveCursor(cursor_ + 1);
        bof_ = false;
        Fire(AfterScroll);
    } else {
        eof_ = true;
    }
}

void RecordSet::Prior() {
    RequireActive();
    CheckBrowseMode();
    if (!bof_ && cursor_ > 0) {
        MoveCursor(cursor_ - 1);
        eof_ = false;
        Fire(AfterScroll);
    } else {
        bof_ = true;
    }
}

void RecordSet::MoveTo(int recNo) {
    RequireActive();
    CheckBrowseMode();
    const int count = VisibleCount();
    if (count == 0)
        return;
    const int target = std::clamp(recNo, 0, count - 1);
    eof_ = bof_ = false;
    if (target != cursor_) {
        MoveCursor(target);
        Fire(AfterScroll);
    }
}

void RecordSet::MoveCursor(int recNo) {
    if (recNo != cursor_) {
        cursor_ = recNo;
        Notify(RecordSetChange::Current);
    }
}

bool RecordSet::Eof() const {
    return eof_;
}

bool RecordSet::Bof() const {
    return bof_;
}

int RecordSet::RecordCount() const {
    return Active() ? VisibleCount() : 0;
}

bool RecordSet::IsEmpty() const {
    return RecordCount() == 0;
}

int RecordSet::RecNo() const {
    return cursor_;
}

bool RecordSet::IsEditing() const {
    return state_ == RecordSetState::Edit || state_ == RecordSetState::Insert;
}

void RecordSet::Insert() {
    RequireActive();
    CheckBrowseMode();
    BeginNewRow(cursor_ >= 0 ? RealRow(cursor_) : int(rows_.size()));
}

void RecordSet::Append() {
    RequireActive();
    CheckBrowseMode();
    BeginNewRow(int(rows_.size()));
}

void RecordSet::BeginNewRow(int realRow) {
    rows_.insert(rows_.begin() + realRow, std::make_unique<Row>(fields_.size()));
    InvalidateIndexes();
    editRow_ = realRow;
    buffer_ = Row(fields_.size());
    SetState(RecordSetState::Insert);
    RebuildView();
    cursor_ = VisibleIndexOf(realRow);
    eof_ = bof_ = false;
    Notify(RecordSetChange::Layout);
    try {
        Fire(OnNewRecord);
    } catch (...) {
        Cancel();
        throw;
    }
    // The defaults of a new row alone do not make it worth posting.
    modified_ = false;
    Fire(AfterInsert);
    Fire(AfterScroll);
}

void RecordSet::Edit() {
    RequireActive();
    if (IsEditing())
        return;
    if (VisibleCount() == 0) {
        Insert();
        return;
    }
    editRow_ = RealRow(cursor_);
    buffer_ = *rows_[editRow_];
    modified_ = false;
    SetState(RecordSetState::Edit);
}

void RecordSet::Post() {
    RequireActive();
    if (!IsEditing())
        return;
    const int oldCursor = cursor_;
    *rows_[editRow_] = std::move(buffer_);
    InvalidateIndexes();
    buffer_.clear();
    const int placed = PlaceById(editRow_);
    editRow_ = -1;
    modified_ = false;
    SetState(RecordSetState::Browse);
    RebuildView();
    const int count = VisibleCount();
    const int visible = VisibleIndexOf(placed);
    cursor_ = visible >= 0 ? visible : std::min(oldCursor, count - 1);
    Notify(RecordSetChange::Layout);
    Fire(AfterPost);
}

int RecordSet::PlaceById(int realRow) {
    if (idIndex_ < 0)
        return realRow;
    const qint64 key = IdKey(*rows_[realRow]);
    const bool afterPrevious = realRow == 0 || IdKey(*rows_[realRow - 1]) <= key;
    const bool beforeNext = realRow + 1 == int(rows_.size()) || IdKey(*rows_[realRow + 1]) >= key;
    if (afterPrevious && beforeNext)
        return realRow;
    std::unique_ptr<Row> row = std::move(rows_[realRow]);
    rows_.erase(rows_.begin() + realRow);
    InvalidateIndexes();
    const auto place = std::upper_bound(rows_.begin(), rows_.end(), key,
                                        [this](qint64 wanted, const std::unique_ptr<Row>& other) {
                                            return wanted < IdKey(*other);
                                        });
    const int index = int(place - rows_.begin());
    rows_.insert(place, std::move(row));
    return index;
}

void RecordSet::Cancel() {
    RequireActive();
    if (!IsEditing())
        return;
    const bool wasInsert = state_ == RecordSetState::Insert;
    const int realRow = editRow_;
    buffer_.clear();
    editRow_ = -1;
    modified_ = false;
    SetState(RecordSetState::Browse);
    if (wasInsert) {
        rows_.erase(rows_.begin() + realRow);
        InvalidateIndexes();
        RebuildView();
        const int count = VisibleCount();
        cursor_ = count == 0 ? -1 : std::min(cursor_, count - 1);
        eof_ = bof_ = count == 0;
    }
    Notify(RecordSetChange::Layout);
    Fire(AfterCancel);
}

void RecordSet::Delete() {
    RequireActive();
    if (state_ == RecordSetState::Insert) {
        Cancel();
        return;
    }
    if (VisibleCount() == 0) {
        throw Exception(
            QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(name_));
    }
    if (state_ == RecordSetState::Edit) {
        buffer_.clear();
        editRow_ = -1;
        modified_ = false;
        SetState(RecordSetState::Browse);
    }
    const bool wasLast = cursor_ == VisibleCount() - 1;
    rows_.erase(rows_.begin() + RealRow(cursor_));
    InvalidateIndexes();
    RebuildView();
    const int count = VisibleCount();
    if (count == 0) {
        cursor_ = -1;
        eof_ = bof_ = true;
    } else if (wasLast) {
        // Deleting the last row ends a "delete or next" walk over the table.
        cursor_ = count - 1;
        eof_ = true;
        bof_ = false;
    } else {
        eof_ = bof_ = false;
    }
    Notify(RecordSetChange::Layout);
    Fire(AfterDelete);
    Fire(AfterScroll);
}

void RecordSet::CheckBrowseMode() {
    RequireActive();
    if (!IsEditing())
        return;
    if (modified_)
        Post();
    else
        Cancel();
}

bool RecordSet::RowMatches(const Row& row, const QList<int>& keys, const QVariantList& values,
                           Qt::CaseSensitivity textCase) const {
    for (int i = 0; i < keys.size(); ++i)
        if (!ValueEquals(fields_[keys[i]], ComputeValue(row, keys[i]), values[i], textCase))
            return false;
    return true;
}

int RecordSet::FindRow(const QList<int>& keys, const QVariantList& values,
                       Qt::CaseSensitivity textCase) const {
    if (keys.size() != values.size()) {
        throw Exception(QStringLiteral("%1: %2 key fields but %3 values")
                            .arg(name_)
                            .arg(keys.size())
                            .arg(values.size()));
    }
    const int pending = state_ == RecordSetState::Insert ? editRow_ : -1;
    const int total = int(rows_.size());
    bool ok = false;
    const qint64 id =
        keys.size() == 1 && keys[0] == idIndex_ && idIndex_ >= 0 ? values[0].toLongLong(&ok) : 0;
    if (ok) {
        // Ordered by Id: search the rows without the unposted one.
        const int count = total - (pending >= 0 ? 1 : 0);
        const auto realOf = [pending](int index) {
            return pending >= 0 && index >= pending ? index + 1 : index;
        };
        int low = 0;
        int high = count;
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (IdKey(*rows_[realOf(middle)]) < id)
                low = middle + 1;
            else
                high = middle;
        }
        for (int index = low; index < count; ++index) {
            const Row& row = *rows_[realOf(index)];
            if (IdKey(row) != id)
                break;
            if (RowPasses(row))
                return realOf(index);
        }
        return -1;
    }
    const bool dataKeys = std::all_of(keys.begin(), keys.end(), [this](int field) {
        return fields_[field].Kind == FieldKind::Data;
    });
    if (dataKeys && textCase == Qt::CaseSensitive)
        return IndexedFind(keys, values);
    for (int index = 0; index < total; ++index) {
        if (index == pending)
            continue;
        const Row& row = *rows_[index];
        if (RowPasses(row) && RowMatches(row, keys, values, textCase))
            return index;
    }
    return -1;
}

int RecordSet::IndexedFind(const QList<int>& keys, const QVariantList& values) const {
    const auto keyOf = [&](const auto& valueAt) -> std::optional<QString> {
        QString key;
        for (int i = 0; i < keys.size(); ++i) {
            const std::optional<QString> part = IndexKeyPart(fields_[keys[i]], valueAt(i));
            if (!part)
                return std::nullopt;
            key += *part;
        }
        return key;
    };
    auto index = indexes_.find(keys);
    if (index == indexes_.end()) {
        index = indexes_.emplace(keys, QHash<QString, int>()).first;
        const int pending = state_ == RecordSetState::Insert ? editRow_ : -1;
        for (int row = 0; row < int(rows_.size()); ++row) {
            if (row == pending || !RowPasses(*rows_[row]))
                continue;
            const std::optional<QString> key =
                keyOf([&](int i) -> const QVariant& { return (*rows_[row])[keys[i]]; });
            if (key && !index->second.contains(*key))
                index->second.insert(*key, row);
        }
    }
    const std::optional<QString> wanted = keyOf([&](int i) { return values[i]; });
    return wanted ? index->second.value(*wanted, -1) : -1;
}

bool RecordSet::Locate(const QString& fieldNames, const QVariantList& values,
                       Qt::CaseSensitivity textCase) {
    RequireActive();
    CheckBrowseMode();
    const int found = FindRow(FieldList(fieldNames), values, textCase);
    if (found < 0)
        return false;
    MoveCursor(VisibleIndexOf(found));
    eof_ = bof_ = false;
    Fire(AfterScroll);
    return true;
}

QVariantList RecordSet::Lookup(const QString& keyFields, const QVariantList& keyValues,
                               const QString& resultFields) const {
    if (!Active())
        return {};
    const QList<int> results = FieldList(resultFields);
    const int found = FindRow(FieldList(keyFields), keyValues, Qt::CaseSensitive);
    if (found < 0)
        return {};
    QVariantList values;
    for (int field : results)
        values.append(ComputeValue(*rows_[found], field));
    return values;
}

bool RecordSet::UpdateRow(const QString& keyFields, const QVariantList& keyValues,
                          const QString& fieldNames, const QVariantList& values) {
    RequireActive();
    const QList<int> fields = FieldList(fieldNames);
    if (fields.size() != values.size()) {
        throw Exception(QStringLiteral("%1: %2 fields but %3 values")
                            .arg(name_)
                            .arg(fields.size())
                            .arg(values.size()));
    }
    const int found = FindRow(FieldList(keyFields), keyValues, Qt::CaseSensitive);
    if (found < 0)
        return false;
    // All values are converted before any is stored, so a refused one changes nothing.
    QVariantList stored;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef& def = fields_[fields[i]];
        if (def.Kind != FieldKind::Data) {
            throw Exception(
                QStringLiteral("%1: Field '%2' cannot be modified").arg(name_, def.Name));
        }
        stored.append(StoredValue(name_, def, values[i]));
    }
    Row& row = *rows_[found];
    const bool pendingEditOfRow = state_ == RecordSetState::Edit && editRow_ == found;
    for (int i = 0; i < fields.size(); ++i) {
        row[fields[i]] = stored[i];
        if (pendingEditOfRow)
            buffer_[fields[i]] = stored[i];
    }
    InvalidateIndexes();
    Notify(RecordSetChange::Layout);
    Fire(AfterRowUpdate);
    return true;
}

QList<QVariantList> RecordSet::StoredRows() const {
    QList<QVariantList> stored;
    stored.reserve(qsizetype(rows_.size()));
    const int pending = state_ == RecordSetState::Insert ? editRow_ : -1;
    for (int row = 0; row < int(rows_.size()); ++row)
        if (row != pending)
            stored.append(*rows_[row]);
    return stored;
}

int RecordSet::PrepareFilterChange() {
    if (!Active())
        return -1;
    CheckBrowseMode();
    return cursor_ >= 0 ? RealRow(cursor_) : -1;
}

void RecordSet::SetFilter(const QString& expression) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*(-?\\d+)\\s*$"));
    int field = -1;
    int value = 0;
    if (!expression.trimmed().isEmpty()) {
        const QRegularExpressionMatch match = form.match(expression);
        bool ok = false;
        value = match.hasMatch() ? match.captured(2).toInt(&ok) : 0;
        if (!ok) {
            throw Exception(QStringLiteral("%1: Filter expression '%2' is not supported")
                                .arg(name_, expression));
        }
        field = RequireField(match.captured(1));
    }
    const int current = filtered_ ? PrepareFilterChange() : -1;
    filterField_ = field;
    filterValue_ = value;
    if (filtered_ && Active())
        ApplyFilter(current);
}

void RecordSet::SetFiltered(bool on) {
    if (filtered_ == on)
        return;
    const int current = PrepareFilterChange();
    filtered_ = on;
    if (Active())
        ApplyFilter(current);
}

void RecordSet::ApplyFilter(int currentRealRow) {
    RebuildView();
    const int count = VisibleCount();
    const int visible = currentRealRow >= 0 ? VisibleIndexOf(currentRealRow) : -1;
    cursor_ = visible >= 0 ? visible : (count > 0 ? 0 : -1);
    eof_ = bof_ = count == 0;
    Notify(RecordSetChange::Layout);
    Fire(AfterScroll);
}

QVariant RecordSet::ValueAt(int recNo, int fieldIndex) const {
    if (!Active() || recNo < 0 || recNo >= VisibleCount() || fieldIndex < 0 ||
        fieldIndex >= fields_.size())
        return {};
    const int realRow = RealRow(recNo);
    const Row& row = IsEditing() && realRow == editRow_ ? buffer_ : *rows_[realRow];
    return ComputeValue(row, fieldIndex);
}

QVariant RecordSet::ComputeValue(const Row& row, int fieldIndex) const {
    const FieldDef& def = fields_[fieldIndex];
    switch (def.Kind) {
    case FieldKind::Data:
        return row[fieldIndex];
    case FieldKind::Lookup: {
        if (def.LookupSet == nullptr)
            return {};
        const QVariant key = ComputeValue(row, RequireField(def.KeyField));
        if (!key.isValid())
            return {};
        const QVariantList found =
            def.LookupSet->Lookup(def.LookupKeyField, {key}, def.LookupResultField);
        return found.isEmpty() ? QVariant() : found.first();
    }
    case FieldKind::Calculated:
        return calcRow_ == &row ? calcValues_[fieldIndex] : Calculate(row)[fieldIndex];
    }
    return {};
}

RecordSet::Row RecordSet::Calculate(const Row& row) const {
    const Row* savedRow = calcRow_;
    Row savedValues = std::move(calcValues_);
    calcRow_ = &row;
    calcValues_ = Row(fields_.size());
    const auto restore = [&] {
        calcRow_ = savedRow;
        calcValues_ = std::move(savedValues);
    };
    try {
        const Handler handler = OnCalcFields;
        if (handler) {
            // The handler fills this row through the usual field access.
            handler(const_cast<RecordSet&>(*this));
        }
    } catch (...) {
        restore();
        throw;
    }
    Row result = std::move(calcValues_);
    restore();
    return result;
}

const RecordSet::Row* RecordSet::CurrentRow() const {
    if (calcRow_ != nullptr)
        return calcRow_;
    if (IsEditing())
        return &buffer_;
    if (!Active() || cursor_ < 0)
        return nullptr;
    return rows_[RealRow(cursor_)].get();
}

QVariant RecordSet::CurrentValue(int fieldIndex) const {
    const Row* row = CurrentRow();
    return row == nullptr ? QVariant() : ComputeValue(*row, fieldIndex);
}

void RecordSet::StoreValue(int fieldIndex, const QVariant& value) {
    const FieldDef& def = fields_[fieldIndex];
    if (calcRow_ != nullptr) {
        if (def.Kind != FieldKind::Calculated) {
            throw Exception(
                QStringLiteral(
                    "%1: Field '%2' cannot be modified while calculated fields are filled")
                    .arg(name_, def.Name));
        }
        calcValues_[fieldIndex] = StoredValue(name_, def, value);
        return;
    }
    if (def.Kind == FieldKind::Calculated) {
        throw Exception(
            QStringLiteral("%1: Calculated field '%2' can be set only while calculated fields are "
                           "filled")
                .arg(name_, def.Name));
    }
    if (def.Kind == FieldKind::Lookup) {
        throw Exception(
            QStringLiteral("%1: Lookup field '%2' cannot be modified").arg(name_, def.Name));
    }
    if (!IsEditing())
        throw Exception(QStringLiteral("%1: Dataset not in edit or insert mode").arg(name_));
    buffer_[fieldIndex] = StoredValue(name_, def, value);
    modified_ = true;
    Notify(RecordSetChange::Field, fieldIndex);
}

void RecordSet::SetState(RecordSetState state) {
    if (state_ != state) {
        state_ = state;
        Notify(RecordSetChange::State);
    }
}

void RecordSet::DisableControls() {
    ++disableCount_;
}

void RecordSet::EnableControls() {
    if (disableCount_ > 0 && --disableCount_ == 0)
        Notify(RecordSetChange::Layout);
}

void RecordSet::AddObserver(RecordSetObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void RecordSet::RemoveObserver(RecordSetObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void RecordSet::Notify(RecordSetChange change, int fieldIndex) {
    if (disableCount_ > 0)
        return;
    const std::vector<RecordSetObserver*> observers = observers_;
    for (RecordSetObserver* observer : observers) {
        // An observer may remove another one while it is told.
        if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end())
            observer->RecordSetChanged(*this, change, fieldIndex);
    }
}

void RecordSet::Fire(const Handler& handler) {
    // A copy, since a handler may take the table's handlers off while it runs.
    const Handler call = handler;
    if (call)
        call(*this);
}
