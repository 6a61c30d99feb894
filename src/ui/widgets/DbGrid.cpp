#include "ui/widgets/DbGrid.h"

#include "ui/widgets/DataSource.h"

#include <QGuiApplication>
#include <QHeaderView>

#include <QHelpEvent>
#include <QScopedValueRollback>
#include <QStyle>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

DbGrid::DbGrid(QWidget* parent)
    : QTableView(parent) {
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::Alignment(Qt::AlignCenter | Qt::TextWordWrap));
    header->setHighlightSections(false);
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    header->setFixedHeight(2 * header->fontMetrics().lineSpacing() + 2 * margin + 2);
    // The last column takes whatever width the others leave.
    header->setStretchLastSection(true);
    connect(&model_, &RecordSetModel::CurrentRowChanged, this, &DbGrid::ShowCurrentRow);
    // A reset gives every column the default width again; new texts may need more room.
    connect(&model_, &QAbstractItemModel::modelReset, this, &DbGrid::FitColumns);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &DbGrid::FitColumns);
    connect(&model_, &QAbstractItemModel::dataChanged, this, &DbGrid::FitColumns);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) {
        // The operator drags a column's edge; the stretched last column follows the view.
        if (!fitting_ && QGuiApplication::mouseButtons() != Qt::NoButton)
            sizedByOperator_.insert(column);
    });
}

void DbGrid::SetDataSource(DataSource* source) {
    model_.SetDataSource(source);
}

void DbGrid::AddColumn(const QString& fieldName, const QString& title) {
    model_.AddColumn(fieldName, title);
    FitColumns();
    // A grid bound before it had columns could not select its current row yet.
    if (const DataSource* shown = model_.Source())
        ShowCurrentRow(shown->DataSet().RecNo());
}

void DbGrid::FitColumns() {
    // Wide enough for the longer line of each title and for the texts shown, unless the
    // operator gave the column a width of his own.
    const QScopedValueRollback<bool> guard(fitting_, true);
    QHeaderView* header = horizontalHeader();
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 0; column < model_.columnCount(); ++column) {
        if (sizedByOperator_.contains(column))
            continue;
        int widest = sizeHintForColumn(column);
        const QString title = model_.headerData(column, Qt::Horizontal).toString();
        for (const QString& line : title.split(u'\n'))
            widest = std::max(widest, header->fontMetrics().horizontalAdvance(line) + 4 * margin);
        header->resizeSection(column, std::max(header->sectionSize(column), widest));
    }
}

void DbGrid::SetWheelFilter(WheelFilter filter) {
    wheelFilter_ = std::move(filter);
}

void DbGrid::SetRowMover(RowMover mover) {
    rowMover_ = std::move(mover);
}

void DbGrid::ShowCurrentRow(int recNo) {
    const QScopedValueRollback<bool> guard(following_, true);
    if (recNo < 0 || recNo >= model_.rowCount()) {
        selectionModel()->clear();
        return;
    }
    const int column = std::max(currentIndex().column(), 0);
    const QModelIndex index = model_.index(recNo, column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index);
}

void DbGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    DataSource* source = model_.Source();
    if (following_ || model_.ReadingRows() || source == nullptr || !current.isValid())
        return;
    RecordSet& set = source->DataSet();
    if (!set.Active() || current.row() == set.RecNo())
        return;
    if (!rowMover_) {
        set.MoveTo(current.row());
        return;
    }
    rowMover_(current.row());
    if (set.RecNo() != current.row()) {
        // After the click or key has finished selecting the row it was aimed at.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (const DataSource* shown = model_.Source())
                    ShowCurrentRow(shown->DataSet().RecNo());
            },
            Qt::QueuedConnection);
    }
}

void DbGrid::wheelEvent(QWheelEvent* event) {
    if (!wheelFilter_) {
        QTableView::wheelEvent(event);
        return;
    }
    event->accept();
    wheelFilter_(event->angleDelta().y());
}

bool DbGrid::IsCutOff(const QModelIndex& index) const {
    const QString text = index.data().toString();
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return !text.isEmpty() &&
           fontMetrics().horizontalAdvance(text) > visualRect(index).width() - 2 * margin;
}

bool DbGrid::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid() && IsCutOff(index)) {
        QToolTip::showText(help->globalPos(), index.data().toString(), viewport(),
                           visualRect(index));
    } else {
        QToolTip::hideText();
    }
    return true;
}
