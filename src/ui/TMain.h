#pragma once

#include "core/WindowLink.h"
#include "diagnostics/ConnectionTest.h"
#include "service/ServiceEnvironment.h"
#include "ui/PendingEdits.h"
#include "ui/SettingsDialog.h"
#include "ui/widgets/DataSource.h"

#include <QColor>
#include <QStyle>
#include <QWidget>

#include <functional>
#include <memory>

class DbCheckBox;
class DbEdit;
class DbGrid;
class DbLookupComboBox;
class DbNumberEdit;
class DbTimeEdit;
class Prompts;
class QAction;
class QGroupBox;
class QMenu;
class QSessionManager;
class QPushButton;
class QTabWidget;
class QToolButton;
class ReceiverSettingsCommand;
class RecordSet;
class SourceSettingsCommand;
class TDm;
class TrayIcon;
class TSynchronization_Service;

// The operator's only workplace: the connections, receivers and sources on four tabs, their
// editing, starting and stopping connections, and the locks that keep what a running
// connection uses from being changed.
class TMain : public QWidget, public WindowLink {
    Q_OBJECT
public:
    // Creates the one service on the tables of dm; environment.OperatorPrompts is required and
    // also shows the window's own messages, environment.Window is set to this window.
    TMain(TDm& dm, ServiceEnvironment environment, QWidget* parent = nullptr);
    ~TMain() override;

    TSynchronization_Service& Service() const { return *service_; }
    QTabWidget* pcMain() const { return pcMain_; }

    TrayIcon& Tray() const { return *tray_; }

    bool ReceiverLocked() const { return receiverLocked_; }
    bool SourceLocked() const { return sourceLocked_; }

    // Opens the help topic with the given context number; the help pages beside the program
    // unless set otherwise.
    void SetHelpHandler(std::function<void(int contextNumber)> handler);
    // How the settings dialogs of the two settings buttons are shown; modally unless a test
    // drives them.
    void SetSettingsDialogRunner(DialogRunner runDialog);
    // The help context number of the active tab: 6 to 9.
    int ActiveHelpContext() const;

    void RefreshControls() override;
    void PostMinimize() override;

    void LockReceiverEditors(const QColor& color, bool locked);
    void LockSourceEditors(const QColor& color, bool locked);
    void LockConnectionEditors(const QColor& color, bool locked);
    bool CheckUpdatePeriod();
    bool CheckWorkingPeriod();
    void RefreshConnectionLookups();

public Q_SLOTS:
    void PlayExecute();
    void StopExecute();
    void Receiver_DeleteExecute();
    void Source_DeleteExecute();
    void Connection_DeleteExecute();
    void Receiver_PostExecute();
    void Connection_PostExecute();
    void HelpExecute();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void BitBut_Receiver_Connection_TestClick();
    void BitBut_Source_Connection_TestClick();
    void BitBut_Connection_Connection_TestClick();
    // The exit question, then what becomes of each edit left open; on Yes to both the tray
    // icon goes and the window may close.
    bool FormCloseQuery();
    // Closes in the orderly way without the question: the session or the system ends it.
    void CloseWithoutQuestion();

Q_SIGNALS:
    // The operator confirmed the exit question; the window closes next.
    void CloseConfirmed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The desktop session asks whether it may end: the same question as closing the window.
    // A session that allows no question ends anyway, so the window closes in order.
    void SessionEnding(QSessionManager& manager);
    // False, with the window to stay, while an edit left open is neither kept nor dropped.
    bool PendingEditsSettled();

    // The controls RefreshControls unlocks and disables for one table.
    struct TableGuard {
        QPushButton* TestButton = nullptr;
        QPushButton* DeleteButton = nullptr;
        QAction* DeleteItem = nullptr;
        QAction* DeleteAction = nullptr;
        bool DeleteLocked = false;
    };

    // What tells the receiver tab from the source tab; the control names follow Table.
    struct EndpointTab {
        QString Table;
        QString Caption;
        QString ListCaption;
        QString ParametersCaption;
        QString NameCaption;
        QString InsertItem;
        QString DeleteItem;
        QString SettingsButton;
        QString SettingsHint;
        void (TMain::*OpenSettings)() = nullptr;
        void (TMain::*TestConnection)() = nullptr;
        DataSource* Source = nullptr;
        QAction* Insert = nullptr;
        QAction* Delete = nullptr;
        QAction* Post = nullptr;
        QAction* Cancel = nullptr;
    };
    // The controls of an endpoint tab that the window keeps.
    struct EndpointControls {
        DbGrid* Grid = nullptr;
        DbEdit* Name = nullptr;
        DbEdit* ConnectionString = nullptr;
        DbLookupComboBox* ConnectionType = nullptr;
        TableGuard Guard;
    };

    void BuildConnectionTab();
    EndpointControls BuildEndpointTab(const EndpointTab& tab);
    void BuildReceiverTab();
    void BuildSourceTab();
    void BuildParamConnectionTab();
    void BuildActions();
    DbGrid* NewGrid(const QString& name, DataSource& source, QMenu* popup);
    QMenu* NewPopup(const QString& name, const QString& firstItem, QAction* first,
                    const QString& secondItem, QAction* second);
    QPushButton* NewActionButton(const QString& name, QAction* action);
    QPushButton* NewTestButton(const QString& name, const QString& caption, void (TMain::*click)());
    QToolButton* NewSettingsButton(const QString& name, const QString& hint, void (TMain::*open)());
    QAction* NewAction(const QString& name, const QString& caption, const QString& hint,
                       QStyle::StandardPixmap icon);
    void InstallWheelFilters();

    void FormShow();
    void RefreshTable(RecordSet& table, const QString& keyField, TableGuard& guard,
                      const std::function<void(const QColor&, bool)>& lock);
    void MoveByWheel(RecordSet& table, int delta);
    // Runs move once the edited row of table is stored the way its Save button stores it;
    // a row that stays in edit (a failed check) keeps the cursor where it is.
    void MoveFromRow(RecordSet& table, const std::function<void()>& move);
    void PostAsSaveDoes(RecordSet& table);
    // The receiver's default table names for a "Pendrel.fdb" database, then the post.
    void PostReceiver();
    // The post after both connection checks passed.
    void PostConnection();
    // The standard enabling of the table actions, and the buttons and menu items that follow
    // them unless RefreshControls locked them.
    void UpdateActions();
    void pcMainCurrentChanged(int index);
    bool pcMainChanging();
    void pcMainChange();
    bool FormKeyDown(QKeyEvent* event);
    bool AnyLookupListVisible() const;
    void dbloReceiver_Name_Connection_TypesDropDown();
    void dbloReceiver_Name_Connection_TypesCloseUp();
    // Runs an operator's action; a failure is shown in the error box and the tables stay as
    // the failure left them.
    bool Guarded(const std::function<void()>& action);
    void DeleteAfterQuestion(RecordSet& table, const QString& question);
    // Tests the current row of the button's table off the main thread; grid gets the focus
    // once the outcome has been told.
    void StartConnectionTest(ConnectionTest::CurrentRow which, QWidget* grid);
    void ConnectionTestEnded();
    QColor ButtonFaceColor() const;
    QColor WindowColor() const;

    TDm& dm_;
    Prompts& prompts_;
    std::unique_ptr<TSynchronization_Service> service_;
    DataSource connectionSource_;
    DataSource receiverSource_;
    DataSource sourceSource_;
    DataSource typesSource_;
    PendingEdits pendingEdits_;
    std::function<void(int)> helpHandler_;
    std::unique_ptr<ReceiverSettingsCommand> receiverSettings_;
    std::unique_ptr<SourceSettingsCommand> sourceSettings_;
    TrayIcon* tray_ = nullptr;
    bool created_ = false;
    bool shownBefore_ = false;
    bool receiverLocked_ = false;
    bool sourceLocked_ = false;
    // The tab that was active before the one now being entered; changes made by the window
    // itself are not questioned.
    int activeTab_ = 0;
    bool switchingTab_ = false;
    bool closeConfirmed_ = false;
    bool testRunning_ = false;

    QTabWidget* pcMain_ = nullptr;

    QAction* play_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* receiverInsert_ = nullptr;
    QAction* receiverDelete_ = nullptr;
    QAction* receiverPost_ = nullptr;
    QAction* receiverCancel_ = nullptr;
    QAction* sourceInsert_ = nullptr;
    QAction* sourceDelete_ = nullptr;
    QAction* sourcePost_ = nullptr;
    QAction* sourceCancel_ = nullptr;
    QAction* connectionInsert_ = nullptr;
    QAction* connectionDelete_ = nullptr;
    QAction* connectionPost_ = nullptr;
    QAction* connectionCancel_ = nullptr;
    QAction* help_ = nullptr;

    DbGrid* dbgConnection_ = nullptr;
    DbGrid* dbgReceiver_ = nullptr;
    DbGrid* dbgSource_ = nullptr;
    DbGrid* dbgParam_Connection_ = nullptr;

    DbEdit* dbedtReceiver_Name_Receiver_ = nullptr;
    DbEdit* dbedtReceiver_Connection_String_ = nullptr;
    DbLookupComboBox* dbloReceiver_Name_Connection_Types_ = nullptr;
    DbEdit* dbedtSource_Name_Source_ = nullptr;
    DbEdit* dbedtSource_Connection_String_ = nullptr;
    DbLookupComboBox* dbloSource_Name_Connection_Types_ = nullptr;
    DbEdit* dbedtConnection_Name_Connection_ = nullptr;
    DbLookupComboBox* dbloConnection_Name_Receiver_ = nullptr;
    DbLookupComboBox* dbloConnection_Name_Source_ = nullptr;
    DbNumberEdit* dbnuConnection_Time_Update_ = nullptr;
    DbTimeEdit* dbdtTimeStart_ = nullptr;
    DbTimeEdit* dbdtTimeEnd_ = nullptr;
    QList<DbCheckBox*> dayBoxes_;

    TableGuard receiverGuard_;
    TableGuard sourceGuard_;
    TableGuard connectionGuard_;
    // Buttons and popup menu items that show an action of ActionList1 and follow its enabling.
    QList<std::pair<QPushButton*, QAction*>> actionButtons_;
    QList<std::pair<QAction*, QAction*>> menuItems_;
};
