#pragma once

#include "ui/widgets/RecordSetModel.h"

#include <QSet>
#include <QTableView>

#include <functional>

// A grid over a data source's table: whole rows are selected, nothing is edited in place,
// columns may be resized and moved, cut-off text shows as a tooltip. Its current row is the
// table's cursor both ways, so grids on one table share one current row.
class DbGrid : public QTableView {
    Q_OBJECT
public:
    // Takes over the mouse wheel: delta > 0 for the wheel turned away from the operator.
    using WheelFilter = std::function<void(int delta)>;

    explicit DbGrid(QWidget* parent = nullptr);

    void SetDataSource(DataSource* source);
    DataSource* Source() const { return model_.Source(); }
    // A line break in the title puts the rest on the second title line.
    void AddColumn(const QString& fieldName, const QString& title);
    QString FieldNameAt(int column) const { return model_.FieldNameAt(column); }

    // With a filter the grid does not scroll by itself: each wheel message goes to the filter.
    void SetWheelFilter(WheelFilter filter);

    // Moves the table to the row the operator clicked or stepped to; the grid then shows
    // whichever row the table stands on, so a mover may refuse to leave an edited row.
    using RowMover = std::function<void(int recNo)>;
    void SetRowMover(RowMover mover);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void ShowCurrentRow(int recNo);
    void FitColumns();
    bool IsCutOff(const QModelIndex& index) const;

    RecordSetModel model_;
    WheelFilter wheelFilter_;
    RowMover rowMover_;
    // Set while the grid follows the table, so that it does not move the table back.
    bool following_ = false;
    bool fitting_ = false;
    QSet<int> sizedByOperator_;
};
