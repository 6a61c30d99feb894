#include "ui/widgets/DbGrid.h"
#include "WidgetFixture.h"
#include "core/TableFields.h"
#include "platform/RegionalSettings.h"
#include "ui/widgets/RecordSetModel.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

namespace {

// The grid of the connection-settings tab.
void AddConnectionColumns(DbGrid& grid) {
    grid.AddColumn(Fields::Connection::Name_Connection, QStringLiteral("Название соединения"));
    grid.AddColumn(Fields::Connection::Name_Receiver, QStringLiteral("Название приемника"));
    grid.AddColumn(Fields::Connection::CalStatus, QStringLiteral("Статус"));
    grid.AddColumn(Fields::Connection::Update_Time, QStringLiteral("Время последнего обновления"));
}

void ClickRow(DbGrid& grid, int row) {
    const QRect cell = grid.visualRect(grid.model()->index(row, 0));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

void Wheel(DbGrid& grid, int delta) {
    const QPointF position(5, 5);
    QWheelEvent event(position, grid.viewport()->mapToGlobal(position), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &event);
}

QString Cell(const DbGrid& grid, int row, int column) {
    return grid.model()->index(row, column).data().toString();
}

} // namespace

// Grids over a real data module: rows and lookups shown, the current row shared with the
// table, the window's wheel filter, tooltips of cut-off cells.
class DbGridTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture_ = std::make_unique<WidgetFixture>(); }
    void cleanup() { fixture_.reset(); }

    void gridIsBrowseOnlyWithTwoLineCentredTitles();
    void showsRowsWithLookupsAndCalculatedFields();
    void clickMovesCursorAndCursorMovesSelection();
    void twoGridsShareOneCurrentRow();
    void followsInsertPostCancelAndDelete();
    void keepsColumnWidthsAndOrderOverPosts();
    void pausedGridCatchesUpOnResume();
    void wheelFilterGetsEachMessageOnce_data();
    void wheelFilterGetsEachMessageOnce();
    void tooltipOnlyForCutOffText();

private:
    std::unique_ptr<WidgetFixture> fixture_;
};

void DbGridTest::gridIsBrowseOnlyWithTwoLineCentredTitles() {
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    QCOMPARE(grid.model()->columnCount(), 4);
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Название\nсоединения"));
    QCOMPARE(RecordSetModel::TwoLineTitle(QStringLiteral("Время последнего обновления")),
             QStringLiteral("Время последнего\nобновления"));
    QCOMPARE(RecordSetModel::TwoLineTitle(QStringLiteral("Статус")), QStringLiteral("Статус"));
    QCOMPARE(grid.FieldNameAt(3), Fields::Connection::Update_Time);
    QCOMPARE(Qt::Alignment(grid.model()
                               ->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole)
                               .value<Qt::Alignment>()),
             Qt::Alignment(Qt::AlignCenter));
    QVERIFY(grid.horizontalHeader()->height() >=
            2 * grid.horizontalHeader()->fontMetrics().lineSpacing());
    QCOMPARE(grid.selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!(grid.model()->flags(grid.model()->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(grid.horizontalHeader()->sectionsMovable());
    QCOMPARE(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);

    // Typing into the grid does not edit the row.
    grid.show();
    WidgetFixture::Type(&grid, QStringLiteral("abc"));
    QCOMPARE(fixture_->dm.Connection.State(), RecordSetState::Browse);
}

void DbGridTest::showsRowsWithLookupsAndCalculatedFields() {
    RecordSet& connection = fixture_->dm.Connection;
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    QCOMPARE(grid.model()->rowCount(), 3);
    QCOMPARE(Cell(grid, 1, 0), QStringLiteral("Второе"));
    QCOMPARE(Cell(grid, 1, 1), QStringLiteral("Магазин"));
    QCOMPARE(Cell(grid, 0, 2), QStringLiteral("Не обновляется"));
    QCOMPARE(Cell(grid, 0, 3), QString());

    const QDateTime updated(QDate(2024, 3, 5), QTime(14, 7, 9));
    connection.Edit();
    connection.FieldByName(Fields::Connection::Status).SetAsInteger(Updating);
    connection.FieldByName(Fields::Connection::Update_Time).SetAsDateTime(updated);
    QCOMPARE(Cell(grid, 0, 2), QStringLiteral("Обновляется"));
    QCOMPARE(Cell(grid, 0, 3), RegionalSettings::DateTimeToText(updated));
    connection.Cancel();
    QCOMPARE(Cell(grid, 0, 2), QStringLiteral("Не обновляется"));

    // A renamed receiver shows in every connection at once.
    RecordSet& receiver = fixture_->dm.Receiver;
    receiver.Edit();
    receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(QStringLiteral("Склад 2"));
    receiver.Post();
    QCOMPARE(Cell(grid, 2, 1), QStringLiteral("Склад 2"));
}

void DbGridTest::clickMovesCursorAndCursorMovesSelection() {
    RecordSet& connection = fixture_->dm.Connection;
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    grid.show();
    QCOMPARE(grid.currentIndex().row(), 0);
    ClickRow(grid, 2);
    QCOMPARE(connection.RecNo(), 2);
    QCOMPARE(grid.selectionModel()->selectedRows().size(), 1);
    QCOMPARE(grid.selectionModel()->selectedRows().first().row(), 2);
    QTest::keyClick(grid.viewport(), Qt::Key_Up);
    QCOMPARE(connection.RecNo(), 1);

    connection.First();
    QCOMPARE(grid.currentIndex().row(), 0);
    QCOMPARE(grid.selectionModel()->selectedRows().first().row(), 0);
    QVERIFY(grid.selectionModel()->isRowSelected(0, QModelIndex()));
}

void DbGridTest::twoGridsShareOneCurrentRow() {
    RecordSet& connection = fixture_->dm.Connection;
    DbGrid start;
    DbGrid settings;
    for (DbGrid* grid : {&start, &settings}) {
        AddConnectionColumns(*grid);
        grid->SetDataSource(&fixture_->connection);
        grid->show();
    }
    ClickRow(start, 1);
    QCOMPARE(connection.RecNo(), 1);
    QCOMPARE(settings.currentIndex().row(), 1);
    ClickRow(settings, 2);
    QCOMPARE(start.currentIndex().row(), 2);
    QCOMPARE(start.selectionModel()->selectedRows().first().row(), 2);
}

void DbGridTest::followsInsertPostCancelAndDelete() {
    RecordSet& connection = fixture_->dm.Connection;
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    grid.show();
    connection.Last();
    connection.Append();
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(grid.currentIndex().row(), 3);
    connection.FieldByName(Fields::Connection::Id).SetAsInteger(0);
    connection.FieldByName(Fields::Connection::Name_Connection)
        .SetAsString(QStringLiteral("Нулевое"));
    connection.Post();
    // Posted, the row takes its place by Id and the grid follows it there.
    QCOMPARE(Cell(grid, 0, 0), QStringLiteral("Нулевое"));
    QCOMPARE(grid.currentIndex().row(), 0);
    QCOMPARE(connection.RecNo(), 0);

    connection.Insert();
    QCOMPARE(grid.model()->rowCount(), 5);
    connection.Cancel();
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(Cell(grid, 0, 0), QStringLiteral("Нулевое"));

    connection.Last();
    connection.Delete();
    QCOMPARE(grid.model()->rowCount(), 3);
    QCOMPARE(connection.RecNo(), 2);
    QCOMPARE(grid.currentIndex().row(), 2);
    QCOMPARE(Cell(grid, 2, 0), QStringLiteral("Второе"));
    connection.EmptyTable();
    QCOMPARE(grid.model()->rowCount(), 0);
    QVERIFY(grid.selectionModel()->selectedRows().isEmpty());
}

void DbGridTest::keepsColumnWidthsAndOrderOverPosts() {
    RecordSet& connection = fixture_->dm.Connection;
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    grid.show();
    QHeaderView* header = grid.horizontalHeader();
    header->resizeSection(0, 217);
    header->moveSection(2, 0);
    connection.Edit();
    connection.FieldByName(Fields::Connection::Name_Connection).SetAsString(QStringLiteral("Иное"));
    connection.Post();
    connection.Append();
    connection.Cancel();
    QCOMPARE(header->sectionSize(0), 217);
    QCOMPARE(header->logicalIndex(0), 2);
    QCOMPARE(Cell(grid, 0, 0), QStringLiteral("Иное"));
}

void DbGridTest::pausedGridCatchesUpOnResume() {
    RecordSet& connection = fixture_->dm.Connection;
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    connection.DisableControls();
    connection.Append();
    connection.FieldByName(Fields::Connection::Id).SetAsInteger(9);
    connection.Post();
    connection.First();
    connection.Edit();
    connection.FieldByName(Fields::Connection::Status).SetAsInteger(ConnectError);
    connection.Post();
    QCOMPARE(grid.model()->rowCount(), 3);
    connection.Last();
    connection.EnableControls();
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(Cell(grid, 0, 2), QStringLiteral("Ошибка подключения"));
    QCOMPARE(grid.currentIndex().row(), 3);
}

void DbGridTest::wheelFilterGetsEachMessageOnce_data() {
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("recNo");
    QTest::newRow("one notch away") << 120 << 0;
    QTest::newRow("fast gesture away") << 960 << 0;
    QTest::newRow("one notch towards") << -120 << 2;
    QTest::newRow("fast gesture towards") << -1200 << 2;
    QTest::newRow("zero") << 0 << 2;
}

void DbGridTest::wheelFilterGetsEachMessageOnce() {
    QFETCH(int, delta);
    QFETCH(int, recNo);
    RecordSet& connection = fixture_->dm.Connection;
    for (int id = 4; id <= 60; ++id)
        fixture_->AddConnection(id, QStringLiteral("Ещё %1").arg(id), 1, QTime(8, 0));
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    grid.resize(400, 200);
    grid.show();
    connection.MoveTo(1);
    const int scrolled = grid.verticalScrollBar()->value();
    QList<int> deltas;
    grid.SetWheelFilter([&](int wheelDelta) {
        deltas << wheelDelta;
        wheelDelta > 0 ? connection.Prior() : connection.Next();
    });
    Wheel(grid, delta);
    QCOMPARE(deltas, QList<int>{delta});
    QCOMPARE(connection.RecNo(), recNo);
    QCOMPARE(grid.currentIndex().row(), recNo);
    // Only the move of the cursor may scroll it, by the one row.
    QVERIFY(std::abs(grid.verticalScrollBar()->value() - scrolled) <= 1);

    // Without a filter the grid scrolls as usual and leaves the cursor alone.
    grid.SetWheelFilter({});
    const int before = grid.verticalScrollBar()->value();
    Wheel(grid, -360);
    QCOMPARE(connection.RecNo(), recNo);
    QVERIFY(grid.verticalScrollBar()->value() > before);
}

void DbGridTest::tooltipOnlyForCutOffText() {
    RecordSet& connection = fixture_->dm.Connection;
    connection.Edit();
    connection.FieldByName(Fields::Connection::Name_Connection)
        .SetAsString(QStringLiteral("Очень длинное название соединения, которое не помещается"));
    connection.Post();
    DbGrid grid;
    AddConnectionColumns(grid);
    grid.SetDataSource(&fixture_->connection);
    grid.resize(600, 200);
    grid.show();
    grid.horizontalHeader()->resizeSection(0, 60);
    const auto hover = [&grid](int row) {
        const QPoint point = grid.visualRect(grid.model()->index(row, 0)).center();
        QHelpEvent event(QEvent::ToolTip, point, grid.viewport()->mapToGlobal(point));
        QCoreApplication::sendEvent(grid.viewport(), &event);
    };
    hover(0);
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(),
             connection.FieldByName(Fields::Connection::Name_Connection).AsString());
    grid.horizontalHeader()->resizeSection(0, 500);
    hover(0);
    QTRY_VERIFY(!QToolTip::isVisible());
    grid.horizontalHeader()->resizeSection(0, 60);
    hover(0);
    QVERIFY(QToolTip::isVisible());
    // A short name fits and gets none.
    hover(1);
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(DbGridTest)
#include "DbGridTest.moc"
