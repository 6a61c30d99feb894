#include "ui/widgets/DbGrid.h"

#include "ui/widgets/DataSource.h"

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
    connect(&model_, &RecordSetModel::CurrentRowChanged, this, &DbGrid::ShowCurrentRow);
    // A reset gives every column the default width again.
    connect(&model_, &QAbstractItemModel::modelReset, this, &DbGrid::FitColumnsToTitles);
}

void DbGrid::SetDataSource(DataSource* source) {
    model_.SetDataSource(source);
}

void DbGrid::AddColumn(const QString& fieldName, const QString& title) {
    model_.AddColumn(fieldName, title);
    FitColumnsToTitles();
}

void DbGrid::FitColumnsToTitles() {
    // Wide enough for the longer line of each title.
    QHeaderView* header = horizontalHeader();
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 0; column < model_.columnCount(); ++column) {
        int widest = 0;
        const QString title = model_.headerData(column, Qt::Horizontal).toString();
        for (const QString& line : title.split(u'\n'))
            widest = std::max(widest, header->fontMetrics().horizontalAdvance(line));
        header->resizeSection(column, std::max(header->sectionSize(column), widest + 4 * margin));
    }
}

void DbGrid::SetWheelFilter(WheelFilter filter) {
    wheelFilter_ = std::move(filter);
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
    if (following_ || model_.ReadingRows() || source == nullptr || !current.isValid()) {
        return;
    }
    RecordSet& set = source->DataSet();
    if (set.Active() && current.row() != set.RecNo()) {
        set.MoveTo(current.row());
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
    if (event->type() != QEvent::ToolTip) {
        return QTableView::viewportEvent(event);
    }
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
