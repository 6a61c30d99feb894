#pragma once

#include "core/RecordSet.h"
#include "ui/widgets/DataSource.h"

#include <QAbstractTableModel>
#include <QMetaObject>
#include <QPointer>

// The rows of a data source's table as a read-only item model, one column per chosen field.
// Rows are added and removed at the end only, so a view keeps its column widths and order.
class RecordSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordSetModel(QObject* parent = nullptr);

    void SetDataSource(DataSource* source);
    DataSource* Source() const { return source_; }
    // The field's title may hold a line break for the second title line.
    void AddColumn(const QString& fieldName, const QString& title);
    QString FieldNameAt(int column) const;
    // True while rows are added or removed: a view's current index moves then by itself.
    bool ReadingRows() const { return readingRows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    static QString TwoLineTitle(const QString& title);
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    // The table's cursor stands on another row (-1 when none).
    void CurrentRowChanged(int recNo);

private:
    struct Column {
        QString FieldName;
        QString Title;
    };

    void SourceChanged(RecordSetChange change, int fieldIndex);
    void ReadRows();
    void ReadRow(int row);
    RecordSet* DataSet() const;

    QPointer<DataSource> source_;
    QMetaObject::Connection connection_;
    QList<Column> columns_;
    int rowCount_ = 0;
    bool readingRows_ = false;
};
