#include "ui/SynchronizationApplication.h"

#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <cstdio>

SynchronizationApplication::SynchronizationApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool SynchronizationApplication::notify(QObject* receiver, QEvent* event) {
    // Exceptions must not travel through Qt's event loop; this is the one place they stop.
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception& error) {
        ShowError(error.Message());
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    return false;
}

void SynchronizationApplication::ShowError(const QString& message) {
    if (prompts_)
        prompts_->MessageDlg(message, DialogKind::Error, {DialogButton::Ok});
    else
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}
