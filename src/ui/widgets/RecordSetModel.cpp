#include "ui/widgets/RecordSetModel.h"

#include "platform/RegionalSettings.h"
#include "ui/widgets/DataSource.h"

#include <QScopedValueRollback>

#include <cstdlib>

namespace {

QString DisplayText(const FieldDef& def, const QVariant& value) {
    if (!value.isValid())
        return {};
    switch (def.Type) {
    case FieldType::DateTime:
        return RegionalSettings::DateTimeToText(value.toDateTime());
    case FieldType::Time:
        return RegionalSettings::TimeToText(value.toTime());
    case FieldType::Integer:
    case FieldType::SmallInt:
    case FieldType::Text:
        break;
    }
    return value.toString();
}

} // namespace

RecordSetModel::RecordSetModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void RecordSetModel::SetDataSource(DataSource* source) {
    disconnect(connection_);
    beginResetModel();
    source_ = source;
    rowCount_ = source_ != nullptr ? source_->DataSet().RecordCount() : 0;
    endResetModel();
    if (source_ != nullptr) {
        connection_ = connect(source_, &DataSource::Changed, this, &RecordSetModel::SourceChanged);
        Q_EMIT CurrentRowChanged(source_->DataSet().RecNo());
    }
}

void RecordSetModel::AddColumn(const QString& fieldName, const QString& title) {
    const int column = int(columns_.size());
    beginInsertColumns(QModelIndex(), column, column);
    columns_.append({fieldName, title});
    endInsertColumns();
}

QString RecordSetModel::FieldNameAt(int column) const {
    return column >= 0 && column < columns_.size() ? columns_[column].FieldName : QString();
}

RecordSet* RecordSetModel::DataSet() const {
    return source_ != nullptr ? &source_->DataSet() : nullptr;
}

int RecordSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rowCount_;
}

int RecordSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const {
    const RecordSet* set = DataSet();
    if (role != Qt::DisplayRole || set == nullptr || !index.isValid())
        return {};
    const int field = set->FieldIndex(columns_[index.column()].FieldName);
    if (field < 0)
        return {};
    return DisplayText(set->FieldDefs()[field], set->ValueAt(index.row(), field));
}

// Titles stand on two lines: the text breaks at the blank nearest its middle.
QString RecordSetModel::TwoLineTitle(const QString& title) {
    qsizetype best = -1;
    for (qsizetype i = title.indexOf(u' '); i >= 0; i = title.indexOf(u' ', i + 1))
        if (best < 0 || std::abs(title.size() - 2 * i) < std::abs(title.size() - 2 * best))
            best = i;
    if (best < 0)
        return title;
    QString twoLines = title;
    twoLines[best] = u'\n';
    return twoLines;
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return TwoLineTitle(columns_[section].Title);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void RecordSetModel::SourceChanged(RecordSetChange change, int /*fieldIndex*/) {
    const RecordSet* set = DataSet();
    switch (change) {
    case RecordSetChange::Layout:
        ReadRows();
        Q_EMIT CurrentRowChanged(set->RecNo());
        break;
    case RecordSetChange::Current:
        Q_EMIT CurrentRowChanged(set->RecNo());
        break;
    case RecordSetChange::Field:
        // Lookup and calculated columns of the row may follow any field.
        ReadRow(set->RecNo());
        break;
    case RecordSetChange::State:
        break;
    }
}

void RecordSetModel::ReadRows() {
    const QScopedValueRollback<bool> guard(readingRows_, true);
    const int count = DataSet()->RecordCount();
    if (count > rowCount_) {
        beginInsertRows(QModelIndex(), rowCount_, count - 1);
        rowCount_ = count;
        endInsertRows();
    } else if (count < rowCount_) {
        beginRemoveRows(QModelIndex(), count, rowCount_ - 1);
        rowCount_ = count;
        endRemoveRows();
    }
    if (rowCount_ > 0 && !columns_.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount_ - 1, int(columns_.size()) - 1));
}

void RecordSetModel::ReadRow(int row) {
    if (row >= 0 && row < rowCount_ && !columns_.isEmpty())
        Q_EMIT dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
}
