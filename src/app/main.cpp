// The synchronization service: one window per user, living in the tray when minimised.
//
//   corvane [--folder <dir>] [--status <address>:<port>] [--alert-stale <minutes>] [RunAll]
//           [--on-event <program> [arguments...]]
//   corvane --headless ...the same options...
//
// The status server, the alert program and systemd's notifications work alike with the window
// and without it.
// The program folder holds the settings file and the log; it is the executable's folder
// unless "--folder" names another one. Exit codes: 0 after a confirmed exit and for a start
// that found the program already running (that instance is shown instead), 1 when the
// program cannot start (a settings file that does not load, a program folder that is not
// there, a wrong command line); headless also 2 for a second instance on the folder and 3 when
// the configuration could not be saved at the end.

#include "core/TDm.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "service/EndSignals.h"
#include "service/HeadlessRunner.h"
#include "service/ProgramFolder.h"
#include "service/ServiceEnvironment.h"
#include "service/TSynchronization_Service.h"
#include "service/UnattendedOperation.h"
#include "ui/QtTranslations.h"
#include "ui/SingleInstance.h"
#include "ui/SynchronizationApplication.h"
#include "ui/TMain.h"
#include "ui/TrayIcon.h"
#include "ui/WidgetPrompts.h"

#include <QFileInfo>

#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr int kExitCannotStart = 1;

int RunWindow(SynchronizationApplication& application, SingleInstance& instance) {
    const QtTranslations translations;
    WidgetPrompts prompts;
    application.SetPrompts(&prompts);
    const std::optional<ProgramCommandLine> commandLine =
        ParseProgramCommandLine(application.arguments().mid(1));
    if (!commandLine) {
        prompts.MessageDlg(QStringLiteral("Использование: corvane [--folder <папка>] [RunAll]"),
                           DialogKind::Error, {DialogButton::Ok});
        return kExitCannotStart;
    }
    const QString folder = commandLine->Folder;
    if (!QFileInfo(folder).isDir()) {
        prompts.MessageDlg(QStringLiteral("Папка программы %1 не найдена.").arg(folder),
                           DialogKind::Error, {DialogButton::Ok});
        return kExitCannotStart;
    }
    // A service without a window may already run the connections of this folder.
    ProgramFolderLock folderLock(folder);
    if (const QString refusal = folderLock.TryLock(); !refusal.isEmpty()) {
        prompts.MessageDlg(refusal, DialogKind::Error, {DialogButton::Ok});
        return kExitCannotStart;
    }

    ServiceEnvironment environment;
    environment.ProgramFolder = folder;
    environment.Arguments = commandLine->Arguments;
    environment.TimeSource = std::make_shared<SystemClock>();
    environment.HandOver = std::make_shared<MainThreadHandOver>();
    environment.OperatorPrompts = &prompts;

    TDm dm;
    TMain window(dm, std::move(environment));
    // The window has shown the load error; without its configuration the program must not
    // run, and the service writes nothing back over the file.
    if (!window.Service().Loaded())
        return kExitCannotStart;
    UnattendedOperation unattended(window.Service(), commandLine->Unattended);
    if (const QString refusal = unattended.Prepare(); !refusal.isEmpty()) {
        prompts.MessageDlg(refusal, DialogKind::Error, {DialogButton::Ok});
        return kExitCannotStart;
    }

    QObject::connect(&instance, &SingleInstance::ShowRequested, &window.Tray(),
                     &TrayIcon::RestoreFromTray);
    // SIGTERM and SIGINT end the program as a confirmed exit does: connections stopped,
    // configuration saved.
    EndSignals endSignals;
    QObject::connect(&endSignals, &EndSignals::EndRequested, &window, &TMain::CloseWithoutQuestion);
    instance.Listen();

    window.show();
    unattended.Started();
    const int exitCode = QApplication::exec();
    unattended.End();
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--headless") == 0)
        return RunHeadless(argc, argv);
    // Before anything else: a second start only shows the running window, it creates none.
    SingleInstance instance;
    if (!instance.TryLock()) {
        instance.AskRunningToShow();
        return 0;
    }

    SynchronizationApplication application(argc, argv);
    try {
        return RunWindow(application, instance);
    } catch (const std::exception& failure) {
        // Our own errors carry their message as UTF-8.
        WidgetPrompts().MessageDlg(QString::fromUtf8(failure.what()), DialogKind::Error,
                                   {DialogButton::Ok});
    }
    return kExitCannotStart;
}
