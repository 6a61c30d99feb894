#include "ui/TMain.h"

#include "core/TDm.h"
#include "core/TableFields.h"
#include "diagnostics/ConnectionTest.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "service/TSynchronization_Service.h"
#include "ui/ActiveConnectionLocks.h"
#include "ui/HelpTopics.h"
#include "ui/ReceiverSettingsCommand.h"
#include "ui/SourceSettingsCommand.h"
#include "ui/TrayIcon.h"
#include "ui/widgets/DbCheckBox.h"
#include "ui/widgets/DbEdit.h"
#include "ui/widgets/DbGrid.h"
#include "ui/widgets/DbLookupComboBox.h"
#include "ui/widgets/DbNumberEdit.h"
#include "ui/widgets/DbTimeEdit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSessionManager>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kWindowCaption = QStringLiteral("Сервис синхронизаций 1.1");
// The text of a time editor that holds no time.
const QString kEmptyTime = QStringLiteral("  :  :  ");

enum Tab { ConnectionTab, ReceiverTab, SourceTab, ParamConnectionTab };
// The connection type of every receiver: a database reached through a connection string.
constexpr int kReceiverConnectionType = 1;
constexpr int kFirstHelpContext = 6;

QLabel* AddLabelled(QGridLayout* grid, int row, const QString& caption, QWidget* control) {
    auto* label = new QLabel(caption);
    label->setBuddy(control);
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
    return label;
}

QGroupBox* NewGroup(const QString& name, const QString& title) {
    auto* group = new QGroupBox(title);
    group->setObjectName(name);
    return group;
}

template <typename Editor>
Editor* NewEditor(const QString& name, DataSource& source, const QString& field) {
    auto* editor = new Editor;
    editor->setObjectName(name);
    editor->DataLink().Bind(&source, field);
    return editor;
}

DbLookupComboBox* NewLookup(const QString& name, DataSource& source, const QString& field,
                            DataSource& list, const QString& listField) {
    auto* box = NewEditor<DbLookupComboBox>(name, source, field);
    box->SetListSource(&list, Fields::Shared::Id, listField);
    return box;
}

void PaintAndLock(FieldDataLink& link, const QColor& color, bool locked) {
    link.SetColor(color);
    link.SetReadOnly(locked);
}

} // namespace

TMain::TMain(TDm& dm, ServiceEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , dm_(dm)
    , prompts_(*environment.OperatorPrompts)
    , connectionSource_(dm.Connection)
    , receiverSource_(dm.Receiver)
    , sourceSource_(dm.Source)
    , typesSource_(dm.Connection_Types)
    , pendingEdits_(prompts_, [this] { return CheckUpdatePeriod() && CheckWorkingPeriod(); }) {
    setObjectName(QStringLiteral("Main"));
    // The caption is also the taskbar's text. No application display name: X11 would append
    // it to the caption of every other window.
    setWindowTitle(kWindowCaption);
    dm_.TaskScheduler.start();

    environment.Window = this;
    service_ = std::make_unique<TSynchronization_Service>(dm_, std::move(environment));
    if (!service_->Loaded())
        prompts_.MessageDlg(service_->LoadError(), DialogKind::Error, {DialogButton::Ok});

    SetSettingsDialogRunner(&SettingsDialog::ShowModal);
    helpHandler_ = [this](int context) {
        HelpTopics(HelpTopics::DefaultFolder(), prompts_).ShowTopic(context);
    };
    tray_ = new TrayIcon(this, *service_);

    BuildActions();
    pcMain_ = new QTabWidget;
    pcMain_->setObjectName(QStringLiteral("pcMain"));
    BuildConnectionTab();
    BuildReceiverTab();
    BuildSourceTab();
    BuildParamConnectionTab();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcMain_);
    connect(pcMain_, &QTabWidget::currentChanged, this, &TMain::pcMainCurrentChanged);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TMain::SessionEnding);
    for (DataSource* source : {&connectionSource_, &receiverSource_, &sourceSource_}) {
        connect(
            source, &DataSource::Changed, this,
            [this](RecordSetChange change) {
                if (change != RecordSetChange::Field)
                    UpdateActions();
            });
    }

    // A configuration that did not load must not start anything.
    if (service_->Loaded())
        Guarded([this] { service_->ApplyCommandLine(); });
    InstallWheelFilters();
    qApp->installEventFilter(this);
    setFixedSize(sizeHint());
    created_ = true;
    UpdateActions();
}

TMain::~TMain() {
    created_ = false;
    if (testRunning_)
        QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
    // The controls stop following the tables before the service closes them.
    for (DataSource* source : {&connectionSource_, &receiverSource_, &sourceSource_, &typesSource_})
        source->disconnect();
    dm_.TaskScheduler.stop();
    service_.reset();
}

QAction* TMain::NewAction(const QString& name, const QString& caption, const QString& hint,
                          QStyle::StandardPixmap icon) {
    auto* action = new QAction(style()->standardIcon(icon), caption, this);
    action->setObjectName(name);
    if (!hint.isEmpty()) {
        action->setToolTip(hint);
        action->setStatusTip(hint);
    }
    return action;
}

void TMain::BuildActions() {
    const QString insertHint = QStringLiteral("Insert");
    const QString deleteHint = QStringLiteral("Delete");
    const QString postHint = QStringLiteral("Post");
    const QString cancelHint = QStringLiteral("Cancel");
    const QString save = QStringLiteral("Сохранить");
    const QString cancel = QStringLiteral("Отменить");

    play_ = NewAction(QStringLiteral("Play"), QStringLiteral("Запуск"), QString(),
                      QStyle::SP_MediaPlay);
    stop_ =
        NewAction(QStringLiteral("Stop"), QStringLiteral("Стоп"), QString(), QStyle::SP_MediaStop);
    receiverInsert_ =
        NewAction(QStringLiteral("Receiver_Insert"), QStringLiteral("Добавить приемник"),
                  insertHint, QStyle::SP_FileDialogNewFolder);
    receiverDelete_ =
        NewAction(QStringLiteral("Receiver_Delete"), QStringLiteral("Удалить приемник"), deleteHint,
                  QStyle::SP_TrashIcon);
    receiverPost_ =
        NewAction(QStringLiteral("Receiver_Post"), save, postHint, QStyle::SP_DialogSaveButton);
    receiverCancel_ = NewAction(QStringLiteral("Receiver_Cancel"), cancel, cancelHint,
                                QStyle::SP_DialogCancelButton);
    sourceInsert_ = NewAction(QStringLiteral("Source_Insert"), QStringLiteral("Добавить источник"),
                              insertHint, QStyle::SP_FileDialogNewFolder);
    sourceDelete_ = NewAction(QStringLiteral("Source_Delete"), QStringLiteral("Удалить источник"),
                              deleteHint, QStyle::SP_TrashIcon);
    sourcePost_ =
        NewAction(QStringLiteral("Source_Post"), save, postHint, QStyle::SP_DialogSaveButton);
    sourceCancel_ = NewAction(QStringLiteral("Source_Cancel"), cancel, cancelHint,
                              QStyle::SP_DialogCancelButton);
    connectionInsert_ =
        NewAction(QStringLiteral("Connection_Insert"), QStringLiteral("Добавить соединение"),
                  insertHint, QStyle::SP_FileDialogNewFolder);
    connectionDelete_ =
        NewAction(QStringLiteral("Connection_Delete"), QStringLiteral("Удалить соединение"),
                  deleteHint, QStyle::SP_TrashIcon);
    connectionPost_ =
        NewAction(QStringLiteral("Connection_Post"), save, postHint, QStyle::SP_DialogSaveButton);
    connectionCancel_ = NewAction(QStringLiteral("Connection_Cancel"), cancel, cancelHint,
                                  QStyle::SP_DialogCancelButton);
    help_ = NewAction(QStringLiteral("Help"), QStringLiteral("Help"), QString(),
                      QStyle::SP_DialogHelpButton);
    help_->setShortcut(QKeySequence(Qt::Key_F1));
    help_->setShortcutContext(Qt::WindowShortcut);
    addAction(help_);

    connect(play_, &QAction::triggered, this, &TMain::PlayExecute);
    connect(stop_, &QAction::triggered, this, &TMain::StopExecute);
    connect(help_, &QAction::triggered, this, &TMain::HelpExecute);
    connect(receiverDelete_, &QAction::triggered, this, &TMain::Receiver_DeleteExecute);
    connect(sourceDelete_, &QAction::triggered, this, &TMain::Source_DeleteExecute);
    connect(connectionDelete_, &QAction::triggered, this, &TMain::Connection_DeleteExecute);
    connect(receiverPost_, &QAction::triggered, this, &TMain::Receiver_PostExecute);
    connect(connectionPost_, &QAction::triggered, this, &TMain::Connection_PostExecute);
    connect(sourcePost_, &QAction::triggered, this,
            [this] { Guarded([this] { PostAsSaveDoes(dm_.Source); }); });
    const std::pair<QAction*, RecordSet*> inserts[] = {{receiverInsert_, &dm_.Receiver},
                                                       {sourceInsert_, &dm_.Source},
                                                       {connectionInsert_, &dm_.Connection}};
    for (const auto& [action, table] : inserts) {
        connect(
            action, &QAction::triggered, this,
            [this, table] { Guarded([table] { table->Insert(); }); });
    }
    const std::pair<QAction*, RecordSet*> cancels[] = {{receiverCancel_, &dm_.Receiver},
                                                       {sourceCancel_, &dm_.Source},
                                                       {connectionCancel_, &dm_.Connection}};
    for (const auto& [action, table] : cancels) {
        connect(
            action, &QAction::triggered, this,
            [this, table] { Guarded([table] { table->Cancel(); }); });
    }
}

QPushButton* TMain::NewActionButton(const QString& name, QAction* action) {
    auto* button = new QPushButton(action->icon(), action->text());
    button->setObjectName(name);
    button->setToolTip(action->toolTip() == action->text() ? QString() : action->toolTip());
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    actionButtons_.append(std::pair{button, action});
    return button;
}

QMenu* TMain::NewPopup(const QString& name, const QString& firstItem, QAction* first,
                       const QString& secondItem, QAction* second) {
    auto* menu = new QMenu(this);
    menu->setObjectName(name);
    for (const auto& [itemName, action] : {std::pair{firstItem, first}, {secondItem, second}}) {
        QAction* item = menu->addAction(action->icon(), action->text());
        item->setObjectName(itemName);
        connect(item, &QAction::triggered, action, &QAction::trigger);
        menuItems_.append(std::pair{item, action});
    }
    return menu;
}

QPushButton* TMain::NewTestButton(const QString& name, const QString& caption,
                                  void (TMain::*click)()) {
    auto* test = new QPushButton(style()->standardIcon(QStyle::SP_DriveNetIcon), caption);
    test->setObjectName(name);
    connect(test, &QPushButton::clicked, this, click);
    return test;
}

QToolButton* TMain::NewSettingsButton(const QString& name, const QString& hint,
                                      void (TMain::*open)()) {
    auto* settings = new QToolButton;
    settings->setObjectName(name);
    // Drawn raised, not flat: it reads as a button beside the box it belongs to.
    settings->setText(QStringLiteral("..."));
    settings->setToolTip(hint);
    connect(settings, &QToolButton::clicked, this, open);
    return settings;
}

DbGrid* TMain::NewGrid(const QString& name, DataSource& source, QMenu* popup) {
    auto* grid = new DbGrid;
    grid->setObjectName(name);
    grid->SetDataSource(&source);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, popup,
            [grid, popup](const QPoint& at) { popup->popup(grid->viewport()->mapToGlobal(at)); });
    return grid;
}

void TMain::BuildConnectionTab() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsConnection"));
    auto* layout = new QVBoxLayout(page);

    QGroupBox* connections =
        NewGroup(QStringLiteral("grbConnection"), QStringLiteral(" Соединения  "));
    QMenu* popup = NewPopup(QStringLiteral("pmConnection"), QStringLiteral("N6"), play_,
                            QStringLiteral("N7"), stop_);
    dbgConnection_ = NewGrid(QStringLiteral("dbgConnection"), connectionSource_, popup);
    dbgConnection_->AddColumn(Fields::Connection::Name_Connection,
                              QStringLiteral("Название соединения"));
    dbgConnection_->AddColumn(Fields::Connection::CalStatus, QStringLiteral("Статус"));
    dbgConnection_->AddColumn(Fields::Connection::Update_Time,
                              QStringLiteral("Время последнего обновления"));
    (new QVBoxLayout(connections))->addWidget(dbgConnection_);
    layout->addWidget(connections);

    QGroupBox* startStop = NewGroup(QStringLiteral("grbStart_or_Stop_Connection"),
                                    QStringLiteral(" Запуск соединения  "));
    auto* buttons = new QHBoxLayout(startStop);
    for (const auto& [name, action] :
         {std::pair{QStringLiteral("BitButPlay"), play_}, {QStringLiteral("BitButStop"), stop_}}) {
        QPushButton* button = NewActionButton(name, action);
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
        buttons->addWidget(button);
    }
    layout->addWidget(startStop);
    pcMain_->addTab(page, QStringLiteral("Запуск"));
}

TMain::EndpointControls TMain::BuildEndpointTab(const EndpointTab& tab) {
    // The control names follow the table: "dbedtReceiver_Name_Receiver", "BitBut_Source_Post".
    const auto named = [&tab](const char* pattern) {
        return QString::fromLatin1(pattern).arg(tab.Table);
    };
    const QString nameField = named("Name_%1");
    auto* page = new QWidget;
    page->setObjectName(named("ts%1"));
    auto* layout = new QVBoxLayout(page);

    EndpointControls controls;
    QGroupBox* list = NewGroup(named("grb%1"), tab.ListCaption);
    QMenu* popup = NewPopup(named("pm%1"), tab.InsertItem, tab.Insert, tab.DeleteItem, tab.Delete);
    controls.Grid = NewGrid(named("dbg%1"), *tab.Source, popup);
    controls.Grid->AddColumn(nameField, tab.NameCaption);
    controls.Grid->AddColumn(Fields::Shared::Connection_String,
                             QStringLiteral("Строка подключения"));
    controls.Grid->AddColumn(Fields::Shared::Name_Connection_Types,
                             QStringLiteral("Тип подключения"));
    (new QVBoxLayout(list))->addWidget(controls.Grid);
    layout->addWidget(list);

    QGroupBox* parameters = NewGroup(named("grbParameter_%1"), tab.ParametersCaption);
    auto* grid = new QGridLayout(parameters);
    controls.Name = NewEditor<DbEdit>(named("dbedt%1_Name_%1"), *tab.Source, nameField);
    AddLabelled(grid, 0, tab.NameCaption, controls.Name);
    controls.ConnectionString = NewEditor<DbEdit>(named("dbedt%1_Connection_String"), *tab.Source,
                                                  Fields::Shared::Connection_String);
    AddLabelled(grid, 1, QStringLiteral("Строка подключения"), controls.ConnectionString);
    controls.ConnectionType = NewLookup(named("dblo%1_Name_Connection_Types"), *tab.Source,
                                        Fields::Shared::Id_Connection_Types, typesSource_,
                                        Fields::Connection_Types::Name);
    AddLabelled(grid, 2, QStringLiteral("Тип подключения"), controls.ConnectionType);
    grid->addWidget(NewSettingsButton(tab.SettingsButton, tab.SettingsHint, tab.OpenSettings), 2,
                    2);
    layout->addWidget(parameters);

    QPushButton* test = NewTestButton(named("BitBut_%1_Connection_Test"),
                                      QStringLiteral("Проверить подключение"), tab.TestConnection);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(test);
    buttons->addWidget(NewActionButton(named("BitBut_%1_Insert"), tab.Insert));
    QPushButton* remove = NewActionButton(named("BitBut_%1_Delete"), tab.Delete);
    buttons->addWidget(remove);
    buttons->addWidget(NewActionButton(named("BitBut_%1_Post"), tab.Post));
    buttons->addWidget(NewActionButton(named("BitBut_%1_Cancel"), tab.Cancel));
    layout->addLayout(buttons);
    controls.Guard = {test, remove, popup->actions().at(1), tab.Delete, false};
    pcMain_->addTab(page, tab.Caption);
    return controls;
}

void TMain::BuildReceiverTab() {
    const EndpointControls controls = BuildEndpointTab({
        .Table = QStringLiteral("Receiver"),
        .Caption = QStringLiteral("Приемник"),
        .ListCaption = QStringLiteral(" Приемники  "),
        .ParametersCaption = QStringLiteral(" Параметры приемника  "),
        .NameCaption = QStringLiteral("Название приемника"),
        .InsertItem = QStringLiteral("N8"),
        .DeleteItem = QStringLiteral("N9"),
        .SettingsButton = QStringLiteral("SpeedButton1"),
        .SettingsHint = QStringLiteral("Дополнительные настройки приемника"),
        .OpenSettings = &TMain::SpeedButton1Click,
        .TestConnection = &TMain::BitBut_Receiver_Connection_TestClick,
        .Source = &receiverSource_,
        .Insert = receiverInsert_,
        .Delete = receiverDelete_,
        .Post = receiverPost_,
        .Cancel = receiverCancel_,
    });
    dbgReceiver_ = controls.Grid;
    dbedtReceiver_Name_Receiver_ = controls.Name;
    dbedtReceiver_Connection_String_ = controls.ConnectionString;
    dbloReceiver_Name_Connection_Types_ = controls.ConnectionType;
    receiverGuard_ = controls.Guard;
    // The list is filtered while open; keys and the wheel on the closed box go by the limit.
    dbloReceiver_Name_Connection_Types_->SetChoiceLimit(
        [](const QVariant& key) { return key.toInt() == kReceiverConnectionType; });
    connect(dbloReceiver_Name_Connection_Types_, &DbLookupComboBox::DropDown, this,
            &TMain::dbloReceiver_Name_Connection_TypesDropDown);
    connect(dbloReceiver_Name_Connection_Types_, &DbLookupComboBox::CloseUp, this,
            &TMain::dbloReceiver_Name_Connection_TypesCloseUp);
}

void TMain::BuildSourceTab() {
    const EndpointControls controls = BuildEndpointTab({
        .Table = QStringLiteral("Source"),
        .Caption = QStringLiteral("Источник"),
        .ListCaption = QStringLiteral(" Источники  "),
        .ParametersCaption = QStringLiteral(" Параметры источника  "),
        .NameCaption = QStringLiteral("Название источника"),
        .InsertItem = QStringLiteral("N10"),
        .DeleteItem = QStringLiteral("N11"),
        .SettingsButton = QStringLiteral("SpeedButton2"),
        .SettingsHint = QStringLiteral("Дополнительные настройки источника"),
        .OpenSettings = &TMain::SpeedButton2Click,
        .TestConnection = &TMain::BitBut_Source_Connection_TestClick,
        .Source = &sourceSource_,
        .Insert = sourceInsert_,
        .Delete = sourceDelete_,
        .Post = sourcePost_,
        .Cancel = sourceCancel_,
    });
    dbgSource_ = controls.Grid;
    dbedtSource_Name_Source_ = controls.Name;
    dbedtSource_Connection_String_ = controls.ConnectionString;
    dbloSource_Name_Connection_Types_ = controls.ConnectionType;
    sourceGuard_ = controls.Guard;
}

void TMain::BuildParamConnectionTab() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsParam_Connection"));
    auto* layout = new QVBoxLayout(page);

    QGroupBox* connections =
        NewGroup(QStringLiteral("grbParam_Connection"), QStringLiteral(" Соединения  "));
    QMenu* popup = NewPopup(QStringLiteral("pmParam_Connection"), QStringLiteral("N12"),
                            connectionInsert_, QStringLiteral("N13"), connectionDelete_);
    dbgParam_Connection_ = NewGrid(QStringLiteral("dbgParam_Connection"), connectionSource_, popup);
    dbgParam_Connection_->AddColumn(Fields::Connection::Name_Connection,
                                    QStringLiteral("Название соединения"));
    dbgParam_Connection_->AddColumn(Fields::Connection::Name_Receiver,
                                    QStringLiteral("Название приемника"));
    dbgParam_Connection_->AddColumn(Fields::Connection::Name_Source,
                                    QStringLiteral("Название источника"));
    (new QVBoxLayout(connections))->addWidget(dbgParam_Connection_);
    layout->addWidget(connections);

    QGroupBox* parameters = NewGroup(QStringLiteral("grbParameter_Connection"),
                                     QStringLiteral(" Параметры соединения  "));
    auto* grid = new QGridLayout(parameters);
    dbedtConnection_Name_Connection_ =
        NewEditor<DbEdit>(QStringLiteral("dbedtConnection_Name_Connection"), connectionSource_,
                          Fields::Connection::Name_Connection);
    AddLabelled(grid, 0, QStringLiteral("Название соединения"), dbedtConnection_Name_Connection_);
    dbloConnection_Name_Receiver_ = NewLookup(QStringLiteral("dbloConnection_Name_Receiver"),
                                              connectionSource_, Fields::Connection::Id_Receiver,
                                              receiverSource_, Fields::Receiver::Name_Receiver);
    AddLabelled(grid, 1, QStringLiteral("Название приемника"), dbloConnection_Name_Receiver_);
    dbloConnection_Name_Source_ =
        NewLookup(QStringLiteral("dbloConnection_Name_Source"), connectionSource_,
                  Fields::Connection::Id_Source, sourceSource_, Fields::Source::Name_Source);
    AddLabelled(grid, 2, QStringLiteral("Название источника"), dbloConnection_Name_Source_);

    QGroupBox* period = NewGroup(QStringLiteral("grbParameter_Connection_UpdatePeriod"),
                                 QStringLiteral(" Период обновления "));
    auto* periodGrid = new QGridLayout(period);
    dbnuConnection_Time_Update_ =
        NewEditor<DbNumberEdit>(QStringLiteral("dbnuConnection_Time_Update"), connectionSource_,
                                Fields::Connection::Time_Update);
    AddLabelled(periodGrid, 0, QStringLiteral("Частота обновления"), dbnuConnection_Time_Update_);
    periodGrid->addWidget(new QLabel(QStringLiteral("минут")), 0, 2);

    auto* days = new QHBoxLayout;
    const std::pair<QString, QString> week[] = {
        {Fields::Connection::Monday, QStringLiteral("Пон.")},
        {Fields::Connection::Tuesday, QStringLiteral("Втр.")},
        {Fields::Connection::Wednesday, QStringLiteral("Ср.")},
        {Fields::Connection::Thursday, QStringLiteral("Чтв.")},
        {Fields::Connection::Friday, QStringLiteral("Пт.")},
        {Fields::Connection::Saturday, QStringLiteral("Сбт.")},
        {Fields::Connection::Sunday, QStringLiteral("Вскр.")}};
    for (const auto& [field, caption] : week) {
        auto* day =
            NewEditor<DbCheckBox>(QStringLiteral("dbchk") + field, connectionSource_, field);
        day->setText(caption);
        days->addWidget(day);
        dayBoxes_.append(day);
    }
    auto* daysLabel = new QLabel(QStringLiteral("Дни недели"));
    daysLabel->setBuddy(dayBoxes_.first());
    periodGrid->addWidget(daysLabel, 1, 0);
    periodGrid->addLayout(days, 1, 1, 1, 2);

    dbdtTimeStart_ = NewEditor<DbTimeEdit>(QStringLiteral("dbdtTimeStart"), connectionSource_,
                                           Fields::Connection::TimeStart);
    dbdtTimeEnd_ = NewEditor<DbTimeEdit>(QStringLiteral("dbdtTimeEnd"), connectionSource_,
                                         Fields::Connection::TimeEnd);
    auto* times = new QHBoxLayout;
    auto* endLabel = new QLabel(QStringLiteral("по"));
    endLabel->setBuddy(dbdtTimeEnd_);
    times->addWidget(dbdtTimeStart_);
    times->addWidget(endLabel);
    times->addWidget(dbdtTimeEnd_);
    times->addStretch();
    auto* startLabel = new QLabel(QStringLiteral("Выполнять с"));
    startLabel->setBuddy(dbdtTimeStart_);
    periodGrid->addWidget(startLabel, 2, 0);
    periodGrid->addLayout(times, 2, 1, 1, 2);
    grid->addWidget(period, 3, 0, 1, 2);
    layout->addWidget(parameters);

    QPushButton* test = NewTestButton(QStringLiteral("BitBut_Connection_Connection_Test"),
                                      QStringLiteral("Проверить соединение"),
                                      &TMain::BitBut_Connection_Connection_TestClick);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(test);
    buttons->addWidget(
        NewActionButton(QStringLiteral("BitBut_Connection_Insert"), connectionInsert_));
    QPushButton* remove =
        NewActionButton(QStringLiteral("BitBut_Connection_Delete"), connectionDelete_);
    buttons->addWidget(remove);
    buttons->addWidget(NewActionButton(QStringLiteral("BitBut_Connection_Post"), connectionPost_));
    buttons->addWidget(
        NewActionButton(QStringLiteral("BitBut_Connection_Cancel"), connectionCancel_));
    layout->addLayout(buttons);
    connectionGuard_ = {test, remove, popup->actions().at(1), connectionDelete_, false};
    pcMain_->addTab(page, QStringLiteral("Настройка соединения"));
}

void TMain::InstallWheelFilters() {
    const std::pair<DbGrid*, RecordSet*> grids[] = {{dbgConnection_, &dm_.Connection},
                                                    {dbgReceiver_, &dm_.Receiver},
                                                    {dbgSource_, &dm_.Source},
                                                    {dbgParam_Connection_, &dm_.Connection}};
    for (const auto& [grid, table] : grids) {
        grid->SetWheelFilter([this, table](int delta) { MoveByWheel(*table, delta); });
        grid->SetRowMover([this, table](int recNo) {
            MoveFromRow(*table, [table, recNo] { table->MoveTo(recNo); });
        });
    }
}

void TMain::MoveByWheel(RecordSet& table, int delta) {
    // One message is one row, however far a fast gesture turned the wheel.
    MoveFromRow(table, [&table, delta] {
        if (delta > 0)
            table.Prior();
        else
            table.Next();
    });
}

void TMain::SetHelpHandler(std::function<void(int)> handler) {
    helpHandler_ = std::move(handler);
}

int TMain::ActiveHelpContext() const {
    return kFirstHelpContext + pcMain_->currentIndex();
}

void TMain::HelpExecute() {
    if (helpHandler_)
        helpHandler_(ActiveHelpContext());
}

void TMain::PostMinimize() {
    QMetaObject::invokeMethod(this, &QWidget::showMinimized, Qt::QueuedConnection);
}

void TMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TMain::FormShow() {
    if (!shownBefore_) {
        shownBefore_ = true;
        if (const QScreen* shown = screen())
            move(shown->availableGeometry().center() - rect().center());
    }
    RefreshControls();
    {
        const QScopedValueRollback<bool> guard(switchingTab_, true);
        pcMain_->setCurrentIndex(ConnectionTab);
    }
    activeTab_ = ConnectionTab;
    dbgConnection_->setFocus();
}

bool TMain::FormCloseQuery() {
    if (closeConfirmed_)
        return true;
    if (prompts_.SystemMessageBox(QStringLiteral("Вы действительно хотите выйти из программы?"),
                                  {DialogButton::Yes, DialogButton::No}) != DialogButton::Yes)
        return false;
    if (!PendingEditsSettled())
        return false;
    closeConfirmed_ = true;
    tray_->SetTrayIcon(TrayOperation::Delete);
    Q_EMIT CloseConfirmed();
    return true;
}

bool TMain::PendingEditsSettled() {
    // The end would drop an edit silently: it is kept or dropped as on leaving its tab.
    bool mayClose = true;
    const bool done = Guarded([this, &mayClose] {
        for (RecordSet* table : {&dm_.Receiver, &dm_.Source, &dm_.Connection}) {
            mayClose = pendingEdits_.ConfirmPendingEdit(*table);
            if (!mayClose)
                return;
        }
    });
    return done && mayClose;
}

void TMain::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    // Qt ends the program only when a visible window closes; from the tray the window is hidden.
    QCoreApplication::quit();
}

void TMain::CloseWithoutQuestion() {
    if (!closeConfirmed_) {
        closeConfirmed_ = true;
        tray_->SetTrayIcon(TrayOperation::Delete);
        Q_EMIT CloseConfirmed();
    }
    close();
}

void TMain::SessionEnding(QSessionManager& manager) {
    if (manager.allowsInteraction() && !FormCloseQuery()) {
        manager.cancel();
        return;
    }
    CloseWithoutQuestion();
}

QColor TMain::ButtonFaceColor() const {
    return QApplication::palette().color(QPalette::Button);
}

QColor TMain::WindowColor() const {
    return QApplication::palette().color(QPalette::Base);
}

void TMain::RefreshControls() {
    if (!created_)
        return;
    RefreshTable(
        dm_.Receiver, Fields::Connection::Id_Receiver, receiverGuard_,
        [this](const QColor& color, bool locked) { LockReceiverEditors(color, locked); });
    RefreshTable(
        dm_.Source, Fields::Connection::Id_Source, sourceGuard_,
        [this](const QColor& color, bool locked) { LockSourceEditors(color, locked); });
    RefreshTable(
        dm_.Connection, Fields::Connection::Id, connectionGuard_,
        [this](const QColor& color, bool locked) { LockConnectionEditors(color, locked); });
    UpdateActions();
}

void TMain::RefreshTable(RecordSet& table, const QString& keyField, TableGuard& guard,
                         const std::function<void(const QColor&, bool)>& lock) {
    // An empty table leaves its buttons to the standard enabling: there is nothing to delete.
    if (table.IsEmpty() && table.State() != RecordSetState::Insert) {
        lock(ButtonFaceColor(), true);
        return;
    }
    const int id = table.FieldByName(Fields::Shared::Id).AsInteger();
    const bool used = ActiveConnectionLocks::IsUsedByActiveConnection(dm_.Connection, id, keyField);
    lock(used ? ButtonFaceColor() : WindowColor(), used);
    guard.TestButton->setEnabled(!used && !testRunning_);
    guard.DeleteLocked = used;
}

void TMain::UpdateActions() {
    const std::pair<RecordSet*, QAction*> inserts[] = {{&dm_.Receiver, receiverInsert_},
                                                       {&dm_.Source, sourceInsert_},
                                                       {&dm_.Connection, connectionInsert_}};
    for (const auto& [table, action] : inserts)
        action->setEnabled(table->Active());
    const std::pair<RecordSet*, QAction*> deletes[] = {{&dm_.Receiver, receiverDelete_},
                                                       {&dm_.Source, sourceDelete_},
                                                       {&dm_.Connection, connectionDelete_}};
    for (const auto& [table, action] : deletes)
        action->setEnabled(table->Active() && !table->IsEmpty());
    const std::pair<RecordSet*, QAction*> edits[] = {
        {&dm_.Receiver, receiverPost_},     {&dm_.Receiver, receiverCancel_},
        {&dm_.Source, sourcePost_},         {&dm_.Source, sourceCancel_},
        {&dm_.Connection, connectionPost_}, {&dm_.Connection, connectionCancel_}};
    for (const auto& [table, action] : edits)
        action->setEnabled(table->Active() && table->IsEditing());

    for (const auto& [button, action] : std::as_const(actionButtons_))
        button->setEnabled(action->isEnabled());
    for (const auto& [item, action] : std::as_const(menuItems_))
        item->setEnabled(action->isEnabled());
    for (const TableGuard* guard : {&receiverGuard_, &sourceGuard_, &connectionGuard_}) {
        if (guard->DeleteLocked) {
            guard->DeleteButton->setEnabled(false);
            guard->DeleteItem->setEnabled(false);
        }
    }
}

void TMain::LockReceiverEditors(const QColor& color, bool locked) {
    PaintAndLock(dbedtReceiver_Name_Receiver_->DataLink(), color, locked);
    PaintAndLock(dbedtReceiver_Connection_String_->DataLink(), color, locked);
    PaintAndLock(dbloReceiver_Name_Connection_Types_->DataLink(), color, locked);
    receiverLocked_ = locked;
}

void TMain::LockSourceEditors(const QColor& color, bool locked) {
    PaintAndLock(dbedtSource_Name_Source_->DataLink(), color, locked);
    PaintAndLock(dbedtSource_Connection_String_->DataLink(), color, locked);
    PaintAndLock(dbloSource_Name_Connection_Types_->DataLink(), color, locked);
    sourceLocked_ = locked;
}

void TMain::LockConnectionEditors(const QColor& color, bool locked) {
    PaintAndLock(dbedtConnection_Name_Connection_->DataLink(), color, locked);
    PaintAndLock(dbloConnection_Name_Receiver_->DataLink(), color, locked);
    PaintAndLock(dbloConnection_Name_Source_->DataLink(), color, locked);
    PaintAndLock(dbnuConnection_Time_Update_->DataLink(), color, locked);
    PaintAndLock(dbdtTimeStart_->DataLink(), color, locked);
    PaintAndLock(dbdtTimeEnd_->DataLink(), color, locked);
    for (DbCheckBox* day : std::as_const(dayBoxes_))
        day->setEnabled(!locked);
}

bool TMain::CheckUpdatePeriod() {
    if (dbnuConnection_Time_Update_->value() >= 1)
        return true;
    prompts_.MessageDlg(
        QStringLiteral("Время обновления соединения не может быть меньше 1 минуты."),
        DialogKind::Warning, {DialogButton::Yes});
    return false;
}

bool TMain::CheckWorkingPeriod() {
    if (dbdtTimeStart_->text() != kEmptyTime && dbdtTimeEnd_->text() != kEmptyTime)
        return true;
    if (std::all_of(dayBoxes_.cbegin(), dayBoxes_.cend(),
                    [](const DbCheckBox* day) { return day->isChecked(); }))
        return true;
    prompts_.MessageDlg(QStringLiteral("Не проставлен период работы соединения."),
                        DialogKind::Warning, {DialogButton::Yes});
    return false;
}

void TMain::RefreshConnectionLookups() {
    for (DbLookupComboBox* box : {dbloConnection_Name_Receiver_, dbloConnection_Name_Source_}) {
        const QVariant key = box->KeyValue();
        if (dm_.Connection.IsEmpty() || !key.isValid())
            continue;
        // Going through an Id no row has makes the box read the name again.
        box->SetKeyValue(-1);
        box->SetKeyValue(key.toInt());
        dm_.Connection.Post();
    }
}

bool TMain::Guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const Exception& error) {
        prompts_.MessageDlg(error.Message(), DialogKind::Error, {DialogButton::Ok});
        return false;
    }
}

void TMain::PlayExecute() {
    Guarded([this] {
        if (!dm_.Connection.IsEmpty())
            service_->StartConnection(
                dm_.Connection.FieldByName(Fields::Connection::Id).AsInteger());
    });
    dbgConnection_->setFocus();
}

void TMain::StopExecute() {
    Guarded([this] {
        if (!dm_.Connection.IsEmpty())
            service_->StopConnection(dm_.Connection.FieldByName(Fields::Connection::Id).AsInteger(),
                                     true);
    });
    dbgConnection_->setFocus();
}

void TMain::DeleteAfterQuestion(RecordSet& table, const QString& question) {
    Guarded([this, &table, &question] {
        if (prompts_.MessageDlg(question, DialogKind::Confirmation,
                                {DialogButton::Yes, DialogButton::No}) != DialogButton::Yes)
            return;
        table.Delete();
        service_->SaveTable(table);
    });
}

void TMain::Receiver_DeleteExecute() {
    DeleteAfterQuestion(dm_.Receiver, QStringLiteral("Удалить приемник?"));
}

void TMain::Source_DeleteExecute() {
    DeleteAfterQuestion(dm_.Source, QStringLiteral("Удалить источник?"));
}

void TMain::Connection_DeleteExecute() {
    DeleteAfterQuestion(dm_.Connection, QStringLiteral("Удалить соединение?"));
}

void TMain::Receiver_PostExecute() {
    Guarded([this] { PostReceiver(); });
}

void TMain::Connection_PostExecute() {
    Guarded([this] { PostConnection(); });
}

void TMain::PostReceiver() {
    RecordSet& receiver = dm_.Receiver;
    if (receiver.IsEditing()) {
        // The names of the receiver schema the program ships with.
        const std::pair<QString, const char*> defaults[] = {
            {Fields::Receiver::Key_Field, "Partno"},
            {Fields::Receiver::Name_Table, "Stock_Balance"},
            {Fields::Receiver::Name_Updated_Field, "Quantity"}};
        const bool pendrel = receiver.FieldByName(Fields::Receiver::Connection_String)
                                 .AsString()
                                 .toUpper()
                                 .contains(QStringLiteral("PENDREL.FDB"));
        const bool allEmpty =
            std::all_of(std::begin(defaults), std::end(defaults), [&receiver](const auto& d) {
                return receiver.FieldByName(d.first).AsString().isEmpty();
            });
        if (pendrel && allEmpty)
            for (const auto& [field, value] : defaults)
                receiver.FieldByName(field).SetAsString(QLatin1String(value));
    }
    receiver.Post();
}

void TMain::PostConnection() {
    if (CheckUpdatePeriod() && CheckWorkingPeriod())
        dm_.Connection.Post();
}

void TMain::PostAsSaveDoes(RecordSet& table) {
    if (&table == &dm_.Receiver)
        PostReceiver();
    else if (&table == &dm_.Connection)
        PostConnection();
    else
        table.Post();
}

void TMain::MoveFromRow(RecordSet& table, const std::function<void()>& move) {
    Guarded([this, &table, &move] {
        // Leaving an edited row stores it as Save would, or not at all.
        if (table.IsEditing()) {
            PostAsSaveDoes(table);
            if (table.IsEditing())
                return;
        }
        move();
    });
}

void TMain::SetSettingsDialogRunner(DialogRunner runDialog) {
    receiverSettings_ = std::make_unique<ReceiverSettingsCommand>(this, dm_.Receiver, *service_,
                                                                  prompts_, runDialog);
    sourceSettings_ =
        std::make_unique<SourceSettingsCommand>(this, dm_.Source, prompts_, runDialog);
}

void TMain::SpeedButton1Click() {
    Guarded([this] {
        receiverSettings_->Execute(receiverLocked_,
                                   dbloReceiver_Name_Connection_Types_->currentText(),
                                   dbedtReceiver_Connection_String_->text());
    });
}

void TMain::SpeedButton2Click() {
    Guarded([this] {
        sourceSettings_->Execute(sourceLocked_, dbloSource_Name_Connection_Types_->currentText(),
                                 dbloSource_Name_Connection_Types_->KeyValue().toInt());
    });
}

void TMain::BitBut_Receiver_Connection_TestClick() {
    StartConnectionTest(ConnectionTest::CurrentRow::Receiver, dbgReceiver_);
}

void TMain::BitBut_Source_Connection_TestClick() {
    StartConnectionTest(ConnectionTest::CurrentRow::Source, dbgSource_);
}

void TMain::BitBut_Connection_Connection_TestClick() {
    StartConnectionTest(ConnectionTest::CurrentRow::Connection, dbgParam_Connection_);
}

void TMain::StartConnectionTest(ConnectionTest::CurrentRow which, QWidget* grid) {
    bool started = false;
    Guarded([this, which, grid, &started] {
        started = service_->ConnectionTests().StartTestOfCurrentRow(
            which, [this, grid](const std::function<void()>& report) {
                ConnectionTestEnded();
                Guarded(report);
                grid->setFocus();
            });
    });
    if (!started) {
        grid->setFocus();
        return;
    }
    // The window goes on meanwhile; only another test waits for this one to end.
    testRunning_ = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    for (TableGuard* guard : {&receiverGuard_, &sourceGuard_, &connectionGuard_})
        guard->TestButton->setEnabled(false);
}

void TMain::ConnectionTestEnded() {
    testRunning_ = false;
    QApplication::restoreOverrideCursor();
    for (TableGuard* guard : {&receiverGuard_, &sourceGuard_, &connectionGuard_})
        guard->TestButton->setEnabled(true);
    RefreshControls();
}

void TMain::pcMainCurrentChanged(int index) {
    if (switchingTab_)
        return;
    // The tab being left decides first; until it agrees the operator keeps seeing it.
    {
        const QScopedValueRollback<bool> guard(switchingTab_, true);
        pcMain_->setCurrentIndex(activeTab_);
    }
    bool allowChange = false;
    if (!Guarded([this, &allowChange] { allowChange = pcMainChanging(); }) || !allowChange)
        return;
    {
        const QScopedValueRollback<bool> guard(switchingTab_, true);
        pcMain_->setCurrentIndex(index);
    }
    activeTab_ = index;
    Guarded([this] { pcMainChange(); });
}

bool TMain::pcMainChanging() {
    switch (activeTab_) {
    case ReceiverTab:
        return pendingEdits_.ConfirmPendingEdit(dm_.Receiver);
    case SourceTab:
        return pendingEdits_.ConfirmPendingEdit(dm_.Source);
    case ParamConnectionTab:
        return pendingEdits_.ConfirmPendingEdit(dm_.Connection);
    default:
        return true;
    }
}

void TMain::pcMainChange() {
    switch (pcMain_->currentIndex()) {
    case ReceiverTab:
        dm_.Receiver.First();
        break;
    case SourceTab:
        dm_.Source.First();
        break;
    case ParamConnectionTab:
        dm_.Connection.First();
        RefreshConnectionLookups();
        break;
    default:
        dm_.Connection.First();
        break;
    }
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        if (FormKeyDown(static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TMain::AnyLookupListVisible() const {
    const DbLookupComboBox* boxes[] = {dbloReceiver_Name_Connection_Types_,
                                       dbloSource_Name_Connection_Types_,
                                       dbloConnection_Name_Receiver_, dbloConnection_Name_Source_};
    return std::any_of(std::begin(boxes), std::end(boxes),
                       [](const DbLookupComboBox* box) { return box->ListVisible(); });
}

bool TMain::FormKeyDown(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || AnyLookupListVisible())
        return false;
    bool mayClose = true;
    Guarded([this, &mayClose] {
        for (RecordSet* table : {&dm_.Receiver, &dm_.Source, &dm_.Connection})
            PendingEdits::CancelPendingEdit(*table, mayClose);
    });
    if (mayClose)
        close();
    return true;
}

void TMain::dbloReceiver_Name_Connection_TypesDropDown() {
    dm_.Connection_Types.SetFilter(QStringLiteral("Id = %1").arg(kReceiverConnectionType));
    dm_.Connection_Types.SetFiltered(true);
}

void TMain::dbloReceiver_Name_Connection_TypesCloseUp() {
    dm_.Connection_Types.SetFiltered(false);
}
